#include <gtest/gtest.h>

#include <filesystem>

#include "app/StartUp.h"
#include "platform/ShellLink.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

class StartUpTest : public ::testing::Test {
protected:
    test::TempDir dir;
    Text folder = JoinPath(dir.gbk(), "汀芷 盒子"_gbk);
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;

    void SetUp() override { std::filesystem::create_directory(FsPath(folder)); }

    BoxProcess Make(const Text& exeName = "softbox") {
        return BoxProcess(folder, exeName, pump, dialogs);
    }
    Text Lnk() const { return JoinPath(folder, "离线模式启动盒子.lnk"_gbk); }
    std::filesystem::file_time_type LnkTime() const {
        return std::filesystem::last_write_time(FsPath(Lnk()));
    }
};

TEST_F(StartUpTest, CommandLineLooksAtTheFirstArgumentOnly) {
    BoxProcess process = Make();
    process.ReadCommandLine({"lxms"});
    EXPECT_TRUE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "");

    process.ReadCommandLine({"LXMS"});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "LXMS");

    process.ReadCommandLine({"C:\\box\\upbox.exe", "lxms"});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "C:\\box\\upbox.exe");

    process.ReadCommandLine({});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "");

    const char* argv[] = {"/opt/box/softbox", "/tmp/汀芷 盒子/upbox.exe", "lxms"};
    auto arguments = CommandLineArguments(3, argv);
    ASSERT_EQ(arguments.size(), 2u);
    EXPECT_EQ(arguments[0], "/tmp/汀芷 盒子/upbox.exe"_gbk);
}

TEST_F(StartUpTest, NormalStartRepairsTheOfflineShortcutAndOpensTheSettings) {
    {
        BoxProcess process = Make();
        StartUpReport report = process.Start({});
        EXPECT_FALSE(report.offlineMode);
        EXPECT_EQ(report.shortcut, ShortcutRepair::kRewritten);
        EXPECT_TRUE(report.settingsWritable);
        EXPECT_EQ(ReadShortcutTarget(Lnk()), JoinPath(folder, "softbox"));
        auto info = ParseShortcut(*ReadFileBytes(Lnk()), folder);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->arguments, "lxms");
        EXPECT_EQ(info->workingDirectory, "");
        EXPECT_EQ(info->description, "");
        EXPECT_EQ(info->iconLocation, "");
        EXPECT_EQ(info->hotKey, 0);
        EXPECT_EQ(info->windowStyle, kShowNormal);

        // The store is bound to the box's settings file.
        EXPECT_TRUE(FileExists(JoinPath(folder, "汀芷·软件盒子.ini"_gbk)));
        process.settings->writeKey("基本配置"_gbk, "k", "v");
    }
    EXPECT_NE(ReadFileText(JoinPath(folder, "汀芷·软件盒子.ini"_gbk)).find("k=v"), Text::npos);

    // A second start finds the shortcut right and leaves the file alone.
    auto before = LnkTime();
    std::filesystem::last_write_time(FsPath(Lnk()), before - std::chrono::hours(1));
    before = LnkTime();
    BoxProcess again = Make();
    EXPECT_EQ(again.Start({}).shortcut, ShortcutRepair::kKept);
    EXPECT_EQ(LnkTime(), before);
    EXPECT_TRUE(dialogs.shown.empty()) << "start-up shows nothing";
}

TEST_F(StartUpTest, MovedOrRenamedBoxRewritesItsShortcutButOfflineStartDoesNot) {
    Text oldTarget = "D:\\old place\\softbox";
    Text lnk = Lnk();
    ShortcutOptions options;
    options.arguments = "lxms";
    ASSERT_TRUE(CreateShortcutFile(lnk, oldTarget, options));

    // Offline: neither read nor written, even though it is wrong.
    {
        BoxProcess offline = Make();
        StartUpReport report = offline.Start({"lxms"});
        EXPECT_TRUE(report.offlineMode);
        EXPECT_EQ(report.shortcut, ShortcutRepair::kSkipped);
        EXPECT_EQ(ReadShortcutTarget(Lnk()), oldTarget);
    }

    // Normal start: the target is fixed; so is a renamed executable later.
    {
        BoxProcess moved = Make();
        EXPECT_EQ(moved.Start({}).shortcut, ShortcutRepair::kRewritten);
        EXPECT_EQ(ReadShortcutTarget(Lnk()), JoinPath(folder, "softbox"));
    }
    BoxProcess renamed = Make("softbox2");
    EXPECT_EQ(renamed.Start({}).shortcut, ShortcutRepair::kRewritten);
    EXPECT_EQ(ReadShortcutTarget(Lnk()), JoinPath(folder, "softbox2"));

    // A damaged shortcut is simply written again.
    ASSERT_TRUE(WriteFileBytes(Lnk(), "garbage"));
    EXPECT_EQ(renamed.RepairOfflineShortcut(), ShortcutRepair::kRewritten);
    EXPECT_EQ(ReadShortcutTarget(Lnk()), JoinPath(folder, "softbox2"));
}

TEST_F(StartUpTest, PendingDeletionRetriesUntilTheFileGoesThenStops) {
    // A non-empty folder stands in for an update program still running: it
    // cannot be removed until it is emptied (also when the tests run as root).
    Text upbox = JoinPath(folder, "upbox.exe");
    std::filesystem::create_directory(FsPath(upbox));
    ASSERT_TRUE(WriteFileBytes(JoinPath(upbox, "busy"), "x"));

    BoxProcess process = Make();
    EXPECT_EQ(process.Start({upbox}).pendingDeletePath, upbox);
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRetry);
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRetry);
    EXPECT_EQ(process.pendingDeletePath, upbox);
    std::filesystem::remove(FsPath(JoinPath(upbox, "busy")));
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(std::filesystem::exists(FsPath(upbox)));
    EXPECT_EQ(process.pendingDeletePath, "");
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kNothing);

    // The usual case: the file goes at the first tick.
    ASSERT_TRUE(WriteFileBytes(upbox, "MZ"));
    process.ReadCommandLine({upbox});
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(FileExists(upbox));

    // "LXMS" and no argument: nothing there, one tick and the timer stops.
    process.ReadCommandLine({"LXMS"});
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kNothing);
    EXPECT_EQ(process.pendingDeletePath, "");
    process.ReadCommandLine({});
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kNothing);
    EXPECT_TRUE(dialogs.shown.empty());
}

TEST_F(StartUpTest, OnlyTheUpdateProgramInTheBoxFolderIsDeleted) {
    // A document dropped on the box arrives as the first argument too.
    Text document = JoinPath(dir.gbk(), "报告.doc"_gbk);
    Text boxFile = JoinPath(folder, "汀芷·软件盒子.ini"_gbk);
    Text elsewhere = JoinPath(dir.gbk(), "upbox.exe");
    for (const Text& path : {document, boxFile, elsewhere}) {
        ASSERT_TRUE(WriteFileBytes(path, "keep"));
        BoxProcess process = Make();
        process.ReadCommandLine({path});
        EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRefused) << path;
        EXPECT_EQ(process.pendingDeletePath, "");
        EXPECT_TRUE(FileExists(path)) << path;
    }

    // The same folder spelt another way still counts as the box folder.
    Text upbox = JoinPath(folder, "upbox.exe");
    ASSERT_TRUE(WriteFileBytes(upbox, "MZ"));
    BoxProcess process = Make();
    process.ReadCommandLine({folder + "/./upbox.exe"});
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(FileExists(upbox));
}

TEST_F(StartUpTest, ExitCleanUpReleasesEverythingOnce) {
    BoxProcess process = Make();
    EXPECT_NE(process.downloadRequest, nullptr) << "both request objects exist from the start";
    EXPECT_NE(process.catalogRequest, nullptr);
    process.Start({"lxms"});
    process.programList.resize(3);

    process.ExitCleanUp();
    EXPECT_EQ(process.settings, nullptr);
    EXPECT_TRUE(process.programList.empty());
    EXPECT_EQ(process.downloadRequest, nullptr);
    EXPECT_EQ(process.catalogRequest, nullptr);
    process.ExitCleanUp();
}

}  // namespace
}  // namespace box
