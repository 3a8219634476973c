#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

#include "PeWriter.h"
#include "app/ListLoading.h"
#include "app/StartUp.h"
#include "platform/ShellLink.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "TestDoubles.h"

namespace box {
namespace {

namespace fs = std::filesystem;

class StartUpTest : public ::testing::Test {
protected:
    test::TempDir dir;
    fs::path boxFolder = dir.path() / "汀芷 盒子";
    Text folder = FromFsPath(boxFolder);  // as the box writes it into texts
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;

    void SetUp() override { fs::create_directory(boxFolder); }

    BoxProcess Make(const char* exeName = "softbox") {
        return BoxProcess(boxFolder, exeName, pump, dialogs);
    }
    Text Lnk() const { return JoinPath(folder, "离线模式启动盒子.lnk"_gbk); }
    fs::file_time_type LnkTime() const { return fs::last_write_time(FsPath(Lnk())); }
};

TEST_F(StartUpTest, CommandLineLooksAtTheFirstArgumentOnly) {
    BoxProcess process = Make();
    process.ReadCommandLine({"lxms"});
    EXPECT_TRUE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "");

    process.ReadCommandLine({"LXMS"});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "LXMS");

    // A "\\" separates folders, as in every path of the box.
    process.ReadCommandLine({"C:\\box\\upbox.exe", "lxms"});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "C:/box/upbox.exe");

    process.ReadCommandLine({});
    EXPECT_FALSE(process.offlineMode);
    EXPECT_EQ(process.pendingDeletePath, "");

    // Arguments stay as the system gives them: a path must reach the file
    // system unchanged, also with characters that GBK lacks.
    const char* argv[] = {"/opt/box/softbox", "/tmp/🎮 盒子/upbox.exe", "lxms"};
    auto arguments = CommandLineArguments(3, argv);
    EXPECT_EQ(arguments, (std::vector<std::string>{"/tmp/🎮 盒子/upbox.exe", "lxms"}));
    EXPECT_TRUE(CommandLineArguments(1, argv).empty());
    EXPECT_TRUE(CommandLineArguments(0, nullptr).empty());
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
    const fs::path upbox = boxFolder / "upbox.exe";
    fs::create_directory(upbox);
    ASSERT_TRUE(WriteFileBytes(upbox / "busy", "x"));

    BoxProcess process = Make();
    EXPECT_EQ(process.Start({upbox}).pendingDeletePath, upbox);
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRetry);
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRetry);
    EXPECT_EQ(process.pendingDeletePath, upbox);
    fs::remove(upbox / "busy");
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(fs::exists(upbox));
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
    const fs::path document = dir.path() / "报告.doc";
    const fs::path boxFile = boxFolder / "汀芷·软件盒子.ini";
    const fs::path elsewhere = dir.path() / "upbox.exe";
    for (const fs::path& path : {document, boxFile, elsewhere}) {
        ASSERT_TRUE(WriteFileBytes(path, "keep"));
        BoxProcess process = Make();
        process.ReadCommandLine({path});
        EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kRefused) << path;
        EXPECT_EQ(process.pendingDeletePath, "");
        EXPECT_TRUE(FileExists(path)) << path;
    }

    // The same folder spelt another way still counts as the box folder.
    const fs::path upbox = boxFolder / "upbox.exe";
    ASSERT_TRUE(WriteFileBytes(upbox, "MZ"));
    BoxProcess process = Make();
    process.ReadCommandLine({boxFolder.native() + "/./upbox.exe"});
    EXPECT_EQ(process.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(FileExists(upbox));
}

// A home folder named in Hangul, a box folder with an emoji: neither has a
// GBK form, and every path below the folder must still be the real one.
TEST_F(StartUpTest, ABoxFolderWhoseNameGbkLacksWorksLikeAnyOther) {
    const fs::path box = dir.path() / "한" / "🎮 盒子";
    fs::create_directories(box);
    {
        BoxProcess process(box, "softbox", pump, dialogs);
        StartUpReport report = process.Start({});
        EXPECT_TRUE(report.settingsWritable);
        EXPECT_EQ(report.shortcut, ShortcutRepair::kRewritten);
        EXPECT_TRUE(fs::is_regular_file(box / "离线模式启动盒子.lnk"));
        EXPECT_TRUE(fs::is_regular_file(box / "汀芷·软件盒子.ini"));
        EXPECT_EQ(process.settings->writeKey("基本配置"_gbk, "k", "v"), SettingsStore::kEditDone);

        // A program installed in the folder is found, with its version.
        ASSERT_TRUE(test::InstallProgram(box, "汀芷·甲", test::ProgramLayout("2.0.0.0")));
        ASSERT_TRUE(WriteFileBytes(box / "汀芷·软件列表.ini",
                                   "[汀芷·甲]\r\n最新版本=2.0.0.0\r\n[汀芷·乙]\r\n"_gbk));
        Text source;
        ASSERT_TRUE(LoadLocalCatalog(process.boxFolder(), *process.settings, process.programList,
                                     pump, dialogs, source));
        ASSERT_EQ(process.programList.size(), 2);
        const CatalogEntry& installed = process.programList.at(1).entry;
        EXPECT_EQ(installed.name, "汀芷·甲"_gbk);
        EXPECT_EQ(installed.installedVersion, "2.0.0.0");
        EXPECT_EQ(installed.status, kUpToDate);
        EXPECT_EQ(process.programList.at(2).entry.status, kNotDownloaded);
        // The settings went to the real file, and nothing went elsewhere.
        EXPECT_NE(ReadFileText(box / "汀芷·软件盒子.ini").find("k=v"), Text::npos);
        const std::string inside = box.native() + "/";
        for (const auto& entry : fs::recursive_directory_iterator(dir.path())) {
            if (!entry.is_regular_file()) continue;
            EXPECT_TRUE(entry.path().native().starts_with(inside)) << entry.path();
        }
    }

    // The next start keeps the shortcut and finds its settings.
    BoxProcess again(box, "softbox", pump, dialogs);
    EXPECT_EQ(again.Start({}).shortcut, ShortcutRepair::kKept);
    EXPECT_EQ(again.settings->readKey("基本配置"_gbk, "k"), "v");

    // The update program, named on the command line the way it names itself.
    ASSERT_TRUE(WriteFileBytes(box / "upbox.exe", "MZ"));
    again.ReadCommandLine({(box / "upbox.exe").native()});
    EXPECT_EQ(again.PendingDeletionTick(), PendingDeletion::kDeleted);
    EXPECT_FALSE(fs::exists(box / "upbox.exe"));
    EXPECT_TRUE(dialogs.shown.empty());
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
