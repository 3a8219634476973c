#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CatalogTestSupport.h"
#include "app/ProgramActions.h"
#include "app/TrayIcon.h"
#include "platform/ShellLink.h"
#include "support/FileText.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::CatalogEnv;
using test::G;
using test::IniLines;

// Records what the desktop was asked to do.
class RecordingShell : public DesktopShell {
public:
    void Open(const std::string& utf8) override { calls.push_back(Call{"open " + utf8}); }
    void ShowInFileManager(const fs::path& file) override {
        calls.push_back(Call{"show " + file.native()});
    }
    void StartProgram(const fs::path& file) override {
        calls.push_back(Call{"start " + file.native()});
    }
    struct Call {
        std::string what;
    };
    std::vector<Call> calls;
    std::vector<std::string> whats() const {
        std::vector<std::string> out;
        for (const Call& c : calls) out.push_back(c.what);
        return out;
    }
};

// A box with two programs, 甲 installed and 乙 not.
struct ActionsEnv : CatalogEnv {
    RecordingShell shell;
    fs::path desktop = dir.path() / "Desktop";
    ProgramActions actions{list, settings, pump, dialogs, shell, {dir.path(), desktop, {}}};
    int searchHidden = 0;

    ActionsEnv() {
        fs::create_directories(desktop);
        install("汀芷·甲", "2.0.0.0");
        parse(IniLines({"[盒子]", "[汀芷·甲]", "最新版本=2.0.0.0", "软件主页=http://127.0.0.1/a",
                        "视频教程=http://127.0.0.1/v1|http://127.0.0.1/v2", "[汀芷·乙]",
                        "最新版本=1.0"}));
    }
    int row(const char* name) const {
        for (int i = 1; i <= list.size(); ++i) {
            if (list.at(i).entry.name == G(name)) return i;
        }
        return 0;
    }
    fs::path exe(const char* name) const {
        return dir.path() / name / (std::string(name) + ".exe");
    }
    double uses(const char* name) { return number("软件排序_使用次数", G(name)); }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& s : dialogs.shown) out.push_back(GbkToUtf8(s.text));
        return out;
    }
};

TEST(ProgramActions, RunningStartsTheProgramAndCountsOneUse) {
    ActionsEnv env;
    env.actions.RunProgram(env.row("汀芷·甲"), false);
    EXPECT_EQ(env.shell.whats(), std::vector<std::string>{"start " + env.exe("汀芷·甲").native()});
    EXPECT_EQ(env.uses("汀芷·甲"), 1);
    EXPECT_TRUE(env.dialogs.shown.empty());
}

TEST(ProgramActions, ARunningDownloadKeepsTheOrderButTheUseIsCounted) {
    ActionsEnv env;
    env.settings.selectSection(G("软件排序_使用次数"));
    env.settings.writeNumber(G("汀芷·乙"), 5);
    env.actions.downloadRunning = [] { return true; };
    const int before = env.row("汀芷·甲");
    env.actions.RunProgram(before, true);
    EXPECT_EQ(env.uses("汀芷·甲"), 1);
    EXPECT_EQ(env.row("汀芷·甲"), before);
}

TEST(ProgramActions, NothingButTheMessageForAProgramNotDownloaded) {
    ActionsEnv env;
    const int r = env.row("汀芷·乙");
    env.actions.LocateProgram(r, false);  // the right click
    env.actions.MakeShortcut(r);
    env.actions.RunProgram(r, true);
    EXPECT_TRUE(env.shell.calls.empty());
    EXPECT_TRUE(fs::is_empty(env.desktop));
    EXPECT_EQ(env.uses("汀芷·乙"), -1);
    const std::string message = "《汀芷·乙》还没下载呢！请点击下载按钮";
    EXPECT_EQ(env.messages(), (std::vector<std::string>{message, message, message}));
    EXPECT_EQ(GbkToUtf8(env.dialogs.shown[0].title), "汀芷：");
}

TEST(ProgramActions, LocatingShowsTheExecutableInTheFileManager) {
    ActionsEnv env;
    env.actions.LocateProgram(env.row("汀芷·甲"), false);
    EXPECT_EQ(env.shell.whats(), std::vector<std::string>{"show " + env.exe("汀芷·甲").native()});
    EXPECT_EQ(env.uses("汀芷·甲"), -1);
}

TEST(ProgramActions, AltClickPutsAShortcutOnTheDesktopAndCountsNoUse) {
    ActionsEnv env;
    env.actions.MakeShortcut(env.row("汀芷·甲"));
    EXPECT_TRUE(env.shell.calls.empty());
    EXPECT_EQ(env.uses("汀芷·甲"), -1);
    EXPECT_TRUE(env.dialogs.shown.empty());
    EXPECT_EQ(ReadShortcutTarget(env.desktop / "汀芷·甲.lnk"), FromFsPath(env.exe("汀芷·甲")));
    const auto launcher = ReadFileBytes(env.desktop / "汀芷·甲.desktop");
    ASSERT_TRUE(launcher);
    EXPECT_NE(launcher->find("Exec="), std::string::npos);
}

TEST(ProgramActions, HomepageOpensOrSaysThereIsNone) {
    ActionsEnv env;
    env.actions.OpenHomepage(env.row("汀芷·甲"), false);
    env.actions.OpenHomepage(env.row("汀芷·乙"), true);  // needs no download
    EXPECT_EQ(env.shell.whats(), std::vector<std::string>{"open http://127.0.0.1/a"});
    EXPECT_EQ(env.messages(), std::vector<std::string>{"《汀芷·乙》暂无主页！详情可咨询汀芷"});
}

TEST(ProgramActions, TwoTutorialPagesOpenASecondApartWithTheWindowRunning) {
    ActionsEnv env;
    std::vector<long long> openedAt;
    env.pump.onEveryPump = [&] {
        while (openedAt.size() < env.shell.calls.size()) openedAt.push_back(env.pump.sleptMs);
    };
    env.actions.OpenTutorial(env.row("汀芷·甲"));
    EXPECT_EQ(env.shell.whats(),
              (std::vector<std::string>{"open http://127.0.0.1/v1", "open http://127.0.0.1/v2"}));
    ASSERT_EQ(openedAt.size(), 2u);
    EXPECT_EQ(openedAt[1] - openedAt[0], 1000);
    EXPECT_EQ(env.pump.sleptMs, 2000);  // the wait follows the last page too

    env.actions.OpenTutorial(env.row("汀芷·乙"));
    EXPECT_EQ(env.messages(), std::vector<std::string>{"《汀芷·乙》暂无教程！详情可咨询汀芷"});
}

TEST(ProgramActions, ARowOutsideTheListOnlySaysSo) {
    ActionsEnv env;
    for (int bad : {0, -1, 3, 1 << 30}) {
        env.actions.RunProgram(bad, false);
        env.actions.LocateProgram(bad, false);
        env.actions.OpenHomepage(bad, false);
        env.actions.OpenTutorial(bad);
        env.actions.DeleteProgram(bad);
        env.actions.MakeShortcut(bad);
    }
    EXPECT_TRUE(env.shell.calls.empty());
    EXPECT_TRUE(fs::exists(env.exe("汀芷·甲")));
    ASSERT_EQ(env.dialogs.shown.size(), 20u);
    const auto m = env.messages();
    EXPECT_EQ(m[0], "出现未知错误，无法运行");
    EXPECT_EQ(m[1], "出现未知错误，无法定位");
    EXPECT_EQ(m[2].rfind("出现未知错误，无法打开《", 0), 0u);
    EXPECT_NE(m[2].find("》的主页。"), std::string::npos);
    EXPECT_NE(m[3].find("》的教程页面。"), std::string::npos);
}

TEST(ProgramActions, DeletingRemovesTheFolderAndShowsTheRowAsNotDownloaded) {
    ActionsEnv env;
    const int r = env.row("汀芷·甲");
    // A link to a file outside the folder goes, the file stays.
    const fs::path outside = env.dir.path() / "outside.txt";
    ASSERT_TRUE(WriteFileBytes(outside, "keep"));
    fs::create_symlink(outside, env.dir.path() / "汀芷·甲" / "link.txt");
    env.actions.DeleteProgram(r);
    EXPECT_FALSE(fs::exists(env.dir.path() / "汀芷·甲"));
    EXPECT_EQ(ReadFileBytes(outside), "keep");
    EXPECT_TRUE(env.dialogs.shown.empty());
    const ProgramRow& row = env.list.at(r);
    EXPECT_EQ(row.entry.status, kNotDownloaded);
    EXPECT_TRUE(row.actionButton.enabled);
    EXPECT_FALSE(row.deleteButton.enabled);
}

TEST(ProgramActions, InDownloadAllModeTheDeletedRowKeepsItsButtonDisabled) {
    ActionsEnv env;
    env.actions.downloadAllMode = [] { return true; };
    const int r = env.row("汀芷·甲");
    env.list.at(r).actionButton.enabled = false;
    env.actions.DeleteProgram(r);
    EXPECT_EQ(env.list.at(r).entry.status, kNotDownloaded);
    EXPECT_FALSE(env.list.at(r).actionButton.enabled);
}

const std::string kDeleteFailed =
    "删除失败，可能是该软件正在运行或软件目录被占用。你可以右键软件名称到该软件的目录手动删除！";

TEST(ProgramActions, AFailedDeletionSaysSoAndLeavesTheRowAsItWas) {
    ActionsEnv env;
    const int r = env.row("汀芷·甲");
    const ProgramRow before = env.list.at(r);
    // Part of the folder goes before the failure (a file in use, say).
    env.actions.removeFolder = [&](const fs::path&, const fs::path& folder) {
        fs::remove(folder / "汀芷·甲.exe");
        return false;
    };
    env.actions.DeleteProgram(r);
    EXPECT_EQ(env.messages(), std::vector<std::string>{kDeleteFailed});
    EXPECT_FALSE(fs::exists(env.exe("汀芷·甲")));
    EXPECT_EQ(env.list.at(r).entry.status, before.entry.status);
    EXPECT_EQ(env.list.at(r).nameControl.caption, before.nameControl.caption);
    EXPECT_EQ(env.list.at(r).deleteButton.enabled, before.deleteButton.enabled);
}

TEST(ProgramActions, AFolderUnderAReadOnlyParentIsNotDeleted) {
    if (::geteuid() == 0) GTEST_SKIP() << "root may delete anything";
    ActionsEnv env;
    const int r = env.row("汀芷·甲");
    const ProgramRow before = env.list.at(r);
    // Its parent, the box folder, cannot be written.
    ASSERT_EQ(::chmod(env.dir.path().c_str(), 0555), 0);
    env.actions.DeleteProgram(r);
    ::chmod(env.dir.path().c_str(), 0755);
    EXPECT_TRUE(fs::exists(env.exe("汀芷·甲")));
    EXPECT_EQ(env.messages(), std::vector<std::string>{kDeleteFailed});
    EXPECT_EQ(env.list.at(r).entry.status, before.entry.status);
    EXPECT_EQ(env.list.at(r).nameControl.caption, before.nameControl.caption);
}

TEST(ProgramActions, HeaderLinksOpenTheirPagesAndHelpOpensTheHelp) {
    ActionsEnv env;
    int helps = 0;
    env.actions.showHelp = [&] { ++helps; };
    for (HeaderLink link : {HeaderLink::Site, HeaderLink::Homepage, HeaderLink::Vip,
                            HeaderLink::Contact, HeaderLink::Help}) {
        env.actions.OpenHeaderLink(link);
    }
    EXPECT_EQ(helps, 1);
    ASSERT_EQ(env.shell.calls.size(), 4u);
    for (const auto& call : env.shell.calls) EXPECT_EQ(call.what.rfind("open http", 0), 0u);
}

// The window as the tray sees it.
class FakeTrayWindow : public TrayWindow {
public:
    bool IsShown() const override { return shown; }
    void Hide() override { shown = false; }
    void Show() override { shown = true; }
    bool IsMinimized() const override { return minimized; }
    void Restore() override { minimized = false; }
    void Activate() override { ++activations; }
    bool shown = true;
    bool minimized = false;
    int activations = 0;
};

TEST(TrayIcon, LeftClicksHideAndShowTheWindowRestoredInFront) {
    FakeTrayWindow window;
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    int exits = 0;
    TrayIconLogic tray(window, pump, dialogs, [&] { ++exits; });
    tray.OnTrayEvent(kTrayLeftButtonDown);
    EXPECT_FALSE(window.shown);
    window.minimized = true;
    tray.OnTrayEvent(kTrayLeftButtonDown);
    EXPECT_TRUE(window.shown);
    EXPECT_FALSE(window.minimized);
    EXPECT_EQ(window.activations, 1);
    tray.OnTrayEvent(0x202);  // other messages do nothing
    tray.OnTrayEvent(0x204);
    EXPECT_TRUE(window.shown);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(exits, 0);
}

TEST(TrayIcon, ARightClickAsksAndOnlyOkEndsTheBox) {
    FakeTrayWindow window;
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    int exits = 0;
    TrayIconLogic tray(window, pump, dialogs, [&] { ++exits; });
    dialogs.answers = {kButtonCancel, kButtonOk};
    tray.OnTrayEvent(kTrayRightButtonUp);
    EXPECT_EQ(exits, 0);
    EXPECT_TRUE(window.shown);
    tray.OnTrayEvent(kTrayRightButtonUp);
    EXPECT_EQ(exits, 1);
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(GbkToUtf8(dialogs.shown[0].text), "确实要退出《汀芷·软件盒子》吗？");
    EXPECT_EQ(dialogs.shown[0].flags & kMbButtonMask, kMbOkCancel);
    EXPECT_EQ(GbkToUtf8(dialogs.shown[0].title), "汀芷：");
    EXPECT_EQ(GbkToUtf8(TrayToolTip()),
              "汀芷·软件盒子\r\n为汀芷软件旗下数十款软件提供下载、升级服务");
}

}  // namespace
}  // namespace box
