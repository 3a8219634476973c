#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "LoopbackServer.h"
#include "TestDoubles.h"
#include "app/CatalogLoader.h"
#include "app/ListLoading.h"
#include "net/HttpRequest.h"
#include "platform/ShellLink.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::G;

const char* const kCatalogUtf8 =
    "[盒子]\r\n下载源=BDUSS=secret\r\n最新版本=1.0.7.0\r\n下载地址=http://127.0.0.1/box.rar\r\n"
    "[汀芷·甲]\r\n最新版本=2.0\r\n下载地址=http://127.0.0.1/a.rar\r\n"
    "[汀芷·乙]\r\n最新版本=3.0\r\n下载地址=http://127.0.0.1/b.rar\r\n下载源=BDUSS=secret\r\n";

// A box folder with its settings file, a desktop, and a catalog server.
class CatalogLoaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(desktop());
        ASSERT_TRUE(settings.openFile(dir.path() / "汀芷·软件盒子.ini"));
        ASSERT_TRUE(server.ok());
        server.SetAnswer("/box.txt", {200, G(kCatalogUtf8), "text/plain"});
    }

    fs::path desktop() const { return dir.path() / "Desktop"; }
    fs::path offlineCopy() const { return OfflineCatalogPath(dir.path()); }

    // Marks the first run as done, so that only the load itself speaks.
    void NotFirstRun() {
        settings.selectSection(G("基本配置"));
        settings.writeBool(G("非首次使用"), true);
        settings.writeBool(G("v1.0.7.0"), true);
    }

    CatalogLoadResult Load(bool offline = false, const std::string& path = "/box.txt") {
        CatalogLoadSetup setup{dir.path(), "softbox", desktop(), server.Url(path), offline};
        CatalogLoadServices services{settings, list, pump, dialogs};
        services.fetch = [this](const Text& url) { return FetchCatalogText(request, url); };
        services.listShown = [this] { ++listShownCalls; };
        return LoadCatalog(setup, services, downloadSource);
    }

    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& shown : dialogs.shown) out.push_back(GbkToUtf8(shown.text));
        return out;
    }

    test::TempDir dir;
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
    HttpRequest request{pump};
    test::LoopbackServer server;
    ProgramList list;
    Text downloadSource;
    int listShownCalls = 0;
};

const std::string kOfflineMessage = "加载远程配置文件失败！盒子将加载历史配置（离线模式）！";
const std::string kNoCatalogMessage =
    "加载远程配置文件失败！请检查本软件是否被拦截网络访问！如果是，请添加信任，然后重新运行本软件！"
    "或咨询汀芷";

TEST_F(CatalogLoaderTest, AFetchedCatalogIsShownAndSavedWithoutItsDownloadSource) {
    NotFirstRun();
    ASSERT_EQ(Load(), CatalogLoadResult::kShown);
    EXPECT_EQ(server.RequestCount(), 1u);
    EXPECT_EQ(server.LastRequest().method, "GET");
    EXPECT_EQ(list.size(), 2);
    EXPECT_EQ(listShownCalls, 1);
    EXPECT_EQ(downloadSource, "BDUSS=secret");
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(pump.sleptMs, 0);

    // Every "下载源=" with the value goes, the rest stays byte for byte.
    const std::string expected =
        "[盒子]\r\n\r\n最新版本=1.0.7.0\r\n下载地址=http://127.0.0.1/box.rar\r\n"
        "[汀芷·甲]\r\n最新版本=2.0\r\n下载地址=http://127.0.0.1/a.rar\r\n"
        "[汀芷·乙]\r\n最新版本=3.0\r\n下载地址=http://127.0.0.1/b.rar\r\n\r\n";
    EXPECT_EQ(ReadFileBytes(offlineCopy()), G(expected.c_str()));
}

TEST_F(CatalogLoaderTest, LfOnlyCatalogIsSavedWithItsOwnLineEnds) {
    NotFirstRun();
    const Text lf = G("[盒子]\n下载源=x\n[汀芷·甲]\n最新版本=2.0\n");
    server.SetAnswer("/box.txt", {200, lf, "text/plain"});
    ASSERT_EQ(Load(), CatalogLoadResult::kShown);
    EXPECT_EQ(ReadFileBytes(offlineCopy()), G("[盒子]\n\n[汀芷·甲]\n最新版本=2.0\n"));
}

TEST_F(CatalogLoaderTest, OfflineStartWithACopyMakesNoRequestAndSaysNothing) {
    NotFirstRun();
    const Text copy = G("[盒子]\r\n最新版本=1.0.7.0\r\n[汀芷·丙]\r\n最新版本=1.0\r\n");
    ASSERT_TRUE(WriteFileBytes(offlineCopy(), copy));
    ASSERT_EQ(Load(/*offline=*/true), CatalogLoadResult::kShown);
    EXPECT_EQ(server.RequestCount(), 0u);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(downloadSource.empty());
    ASSERT_EQ(list.size(), 1);
    EXPECT_EQ(list.at(1).entry.name, G("汀芷·丙"));
    EXPECT_EQ(ReadFileBytes(offlineCopy()), copy);
}

TEST_F(CatalogLoaderTest, OfflineStartWithoutACopyAsksTheServerThreeTimesThenEnds) {
    NotFirstRun();
    server.SetAnswer("/box.txt", {503, "busy"});
    ASSERT_EQ(Load(/*offline=*/true), CatalogLoadResult::kEnded);
    EXPECT_EQ(server.RequestCount(), 3u);
    // A second's wait after every failed attempt, the window running.
    EXPECT_EQ(pump.sleptMs, 3000);
    EXPECT_GE(pump.pumps, 300);
    EXPECT_EQ(Messages(), std::vector<std::string>{kNoCatalogMessage});
    EXPECT_EQ(GbkToUtf8(dialogs.shown[0].title), "信息：");
    EXPECT_FALSE(fs::exists(offlineCopy()));
    EXPECT_EQ(listShownCalls, 0);
}

TEST_F(CatalogLoaderTest, ServerDownFallsBackToTheCopyAndKeepsIt) {
    NotFirstRun();
    const Text copy = G("[盒子]\r\n[汀芷·丙]\r\n最新版本=1.0\r\n");
    ASSERT_TRUE(WriteFileBytes(offlineCopy(), copy));
    const std::string url = server.Url("/box.txt");
    server.Stop();
    CatalogLoadSetup setup{dir.path(), "softbox", desktop(), url, false};
    CatalogLoadServices services{settings, list, pump, dialogs};
    int attempts = 0;
    services.fetch = [&](const Text& u) {
        ++attempts;
        return FetchCatalogText(request, u);
    };
    ASSERT_EQ(LoadCatalog(setup, services, downloadSource), CatalogLoadResult::kShown);
    EXPECT_EQ(attempts, 3);
    EXPECT_EQ(pump.sleptMs, 3000);
    EXPECT_EQ(Messages(), std::vector<std::string>{kOfflineMessage});
    EXPECT_EQ(list.size(), 1);
    EXPECT_EQ(ReadFileBytes(offlineCopy()), copy);
}

TEST_F(CatalogLoaderTest, ASecondAttemptThatSucceedsEndsTheTrying) {
    NotFirstRun();
    server.SetAnswers("/box.txt", {{503, "busy"}, {200, G(kCatalogUtf8), "text/plain"}});
    ASSERT_EQ(Load(), CatalogLoadResult::kShown);
    EXPECT_EQ(server.RequestCount(), 2u);
    EXPECT_EQ(pump.sleptMs, 1000);
}

// Answers that must neither become the list nor replace a good copy.
TEST_F(CatalogLoaderTest, BadAnswersNeverDamageTheOfflineCopy) {
    NotFirstRun();
    const Text copy = G("[盒子]\r\n[汀芷·丙]\r\n最新版本=1.0\r\n");
    ASSERT_TRUE(WriteFileBytes(offlineCopy(), copy));

    // Error pages are failed attempts: the copy is used.
    for (int status : {404, 500, 302}) {
        dialogs.shown.clear();
        server.SetAnswer("/box.txt", {status, "<html><body>[汀芷·假]</body></html>"});
        ASSERT_EQ(Load(), CatalogLoadResult::kShown) << status;
        EXPECT_EQ(Messages(), std::vector<std::string>{kOfflineMessage}) << status;
        ASSERT_EQ(list.size(), 1);
        EXPECT_EQ(list.at(1).entry.name, G("汀芷·丙"));
    }

    // A 2xx answer without any program: the parser's message, the copy kept.
    std::string garbage(4096, '\0');
    for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>(i * 131 + 7);
    const std::string html = "<html><head><title>维护中</title></head><body>稍后再试</body></html>";
    const std::string huge(20 << 20, 'x');
    for (const std::string& body : {garbage, html, huge, std::string("[盒子]\r\n下载源=x\r\n")}) {
        dialogs.shown.clear();
        server.SetAnswer("/box.txt", {200, body, "text/plain"});
        EXPECT_EQ(Load(), CatalogLoadResult::kEnded);
        EXPECT_EQ(Messages(), std::vector<std::string>{"配置文件出错。请咨询汀芷！"});
        EXPECT_EQ(ReadFileBytes(offlineCopy()), copy);
    }
}

TEST_F(CatalogLoaderTest, AConnectionClosedWithoutAnswerIsAFailedAttempt) {
    NotFirstRun();
    test::RawHttpServer closing("");
    ASSERT_TRUE(closing.ok());
    CatalogLoadSetup setup{dir.path(), "softbox", desktop(), closing.Url("/box.txt"), false};
    CatalogLoadServices services{settings, list, pump, dialogs};
    services.fetch = [this](const Text& url) { return FetchCatalogText(request, url); };
    EXPECT_EQ(LoadCatalog(setup, services, downloadSource), CatalogLoadResult::kEnded);
    EXPECT_TRUE(closing.WaitForHeads(3));
    EXPECT_EQ(Messages(), std::vector<std::string>{kNoCatalogMessage});
}

// Answers Yes to the shortcut offer, looking at the settings file first.
class OfferDialogs : public Dialogs {
public:
    explicit OfferDialogs(const fs::path& settingsFile) : settingsFile_(settingsFile) {}
    int ShowMessage(const Text& text, unsigned flags, const Text& title) override {
        shown.push_back({text, flags, title});
        fileWhenAsked.push_back(ReadFileBytes(settingsFile_).value_or(""));
        return (flags & kMbButtonMask) == kMbYesNo ? answer : kButtonOk;
    }
    std::vector<test::ScriptedDialogs::Shown> shown;
    std::vector<std::string> fileWhenAsked;
    int answer = kButtonYes;

private:
    fs::path settingsFile_;
};

TEST_F(CatalogLoaderTest, TheFirstRunOffersShortcutsOnceAndShowsTheNoticeOnce) {
    OfferDialogs offer(dir.path() / "汀芷·软件盒子.ini");
    auto load = [&] {
        CatalogLoadSetup setup{dir.path(), "softbox", desktop(), server.Url("/box.txt"), false};
        CatalogLoadServices services{settings, list, pump, offer};
        services.fetch = [this](const Text& url) { return FetchCatalogText(request, url); };
        return LoadCatalog(setup, services, downloadSource);
    };
    ASSERT_EQ(load(), CatalogLoadResult::kShown);
    ASSERT_EQ(offer.shown.size(), 2u);
    const std::string question = GbkToUtf8(offer.shown[0].text);
    EXPECT_EQ(question.rfind("是否在桌面创建本盒子的快捷方式文件？（本提示仅出现一次）\r\n\r\n点【"
                             "是】将创建 2 个快捷方式文件",
                             0),
              0u);
    EXPECT_EQ(offer.shown[0].flags & kMbButtonMask, kMbYesNo);
    EXPECT_EQ(GbkToUtf8(offer.shown[0].title), "汀芷：");
    // Written before asking, so the offer is never made again.
    EXPECT_NE(offer.fileWhenAsked[0].find(G("非首次使用=真")), std::string::npos);
    EXPECT_EQ(GbkToUtf8(offer.shown[1].text),
              "1.0.7.0 版本可以按住Alt键再单击软件，就会自动在桌面创建该软件的快捷方式！");
    EXPECT_EQ(GbkToUtf8(offer.shown[1].title), "信息：");

    // Both shortcuts, each with its launcher beside it.
    const Text exe = FromFsPath(dir.path() / "softbox");
    EXPECT_EQ(ReadShortcutTarget(desktop() / "离线模式启动盒子.lnk"), exe);
    EXPECT_EQ(ReadShortcutTarget(desktop() / "汀芷·软件盒子.lnk"), exe);
    const auto offlineLauncher = ReadFileBytes(desktop() / "离线模式启动盒子.desktop");
    ASSERT_TRUE(offlineLauncher);
    EXPECT_NE(offlineLauncher->find("lxms"), std::string::npos);
    struct stat st {};
    ASSERT_EQ(::stat((desktop() / "汀芷·软件盒子.desktop").c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);

    // A second start says nothing, whatever was answered.
    offer.shown.clear();
    ASSERT_EQ(load(), CatalogLoadResult::kShown);
    EXPECT_TRUE(offer.shown.empty());
}

TEST_F(CatalogLoaderTest, AnsweringNoWritesNoShortcutAndIsNotAskedAgain) {
    dialogs.answers = {kButtonNo};
    ASSERT_EQ(Load(), CatalogLoadResult::kShown);
    EXPECT_EQ(dialogs.shown.size(), 2u);
    EXPECT_TRUE(fs::is_empty(desktop()));
    dialogs.shown.clear();
    ASSERT_EQ(Load(), CatalogLoadResult::kShown);
    EXPECT_TRUE(dialogs.shown.empty());
}

}  // namespace
}  // namespace box
