// The box's hand-over and the real update program on loopback: the box
// writes the update program and starts it; the update program downloads the
// package, unpacks it over the box folder and starts the new box.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "ElfWriter.h"
#include "LoopbackServer.h"
#include "PeWriter.h"
#include "RarWriter.h"
#include "TestDoubles.h"
#include "app/SelfUpdate.h"
#include "platform/ElfSections.h"
#include "platform/ShellOpen.h"
#include "support/FileText.h"

namespace box {
namespace {

namespace fs = std::filesystem;

bool WaitForFile(const fs::path& file) {
    // A hang guard only: the update program needs well under a second here.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(90);
    while (!fs::exists(file)) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

TEST(UpdateEndToEnd, TheBoxHandsOverAndTheUpdateProgramReplacesAndRestartsIt) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    test::TempDir dir;
    const fs::path folder = dir.path();
    const fs::path box = folder / "softbox";
    const fs::path restarted = folder / "restarted";

    // The running box: version 1.0.7.0 in its file, and a file of its own
    // that the package replaces.
    test::ElfLayout elf;
    elf.sections = {{std::string(kVersionSectionName), test::BoxVersionBlock("1.0.7.0")}};
    ASSERT_TRUE(test::WriteFile(box, test::BuildElf(elf)));
    ASSERT_TRUE(test::WriteFile(folder / "data.txt", "old"));

    // The package: a new box (here a script that notes how it was started)
    // and a new data file.
    const std::string newBox = "#!/bin/sh\nprintf '%s|' \"$@\" > \"" + restarted.string() +
                               ".tmp\" && mv \"" + restarted.string() + ".tmp\" \"" +
                               restarted.string() + "\"\n";
    const std::string package =
        test::BuildRar(test::RarFormat::kRar5,
                       {test::RarFile("softbox", newBox), test::RarFile("data.txt", "new")});
    test::LoopbackServer server;
    ASSERT_TRUE(server.ok());
    server.SetAnswer("/box.rar", {200, package, "application/octet-stream"});

    const std::optional<std::string> image = ReadFileBytes(fs::path(SOFTBOX_UPBOX_EXECUTABLE));
    ASSERT_TRUE(image);
    test::ScriptedDialogs dialogs;
    SelfUpdateServices services{dialogs, *image};
    services.resolve = [](Text& source) { return source; };
    services.startProcess = [](const std::vector<std::string>& argv) { return StartProgram(argv); };
    int exitCode = -1;
    services.exitBox = [&](int code) { exitCode = code; };
    Text address = server.Url("/box.rar");
    ASSERT_TRUE(CheckSelfUpdate("1.0.8.0", address, false, {folder, "softbox"}, services));
    EXPECT_EQ(exitCode, 0);

    ASSERT_TRUE(WaitForFile(restarted));
    // The new box was started with the update program's path, which it
    // deletes at its start.
    EXPECT_EQ(ReadFileBytes(restarted), (folder / "upbox.exe").string() + "|");
    EXPECT_EQ(ReadFileBytes(box), newBox);
    EXPECT_EQ(ReadFileBytes(folder / "data.txt"), "new");
    EXPECT_FALSE(fs::exists(folder / "汀芷·软件盒子（更新包）.rar"));
    EXPECT_EQ(server.RequestCount(), 1u);
}

}  // namespace
}  // namespace box
