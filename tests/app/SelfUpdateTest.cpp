#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "ElfWriter.h"
#include "PeWriter.h"
#include "TestDoubles.h"
#include "app/CatalogLoader.h"
#include "app/ListLoading.h"
#include "app/SelfUpdate.h"
#include "platform/ElfSections.h"
#include "platform/ShellOpen.h"
#include "settings/SettingsStore.h"
#include "support/FileText.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::G;

constexpr std::string_view kImage = "#!/bin/sh\n# the update program\n";

// A box folder whose executable "softbox" carries version 1.0.7.0 the way the
// built box does, with scripted dialogs and a recording process starter.
class SelfUpdateTest : public ::testing::Test {
protected:
    void SetUp() override { WriteBox("1.0.7.0"); }

    void WriteBox(const std::string& version) {
        test::ElfLayout elf;
        elf.sections = {{".text", "code"},
                        {std::string(kVersionSectionName), test::BoxVersionBlock(version)}};
        ASSERT_TRUE(test::WriteFile(dir.path() / "softbox", test::BuildElf(elf)));
    }

    SelfUpdateServices Services() {
        SelfUpdateServices services{dialogs, kImage};
        services.resolve = [this](Text& source) {
            resolved.push_back(source);
            return resolveAnswer.empty() ? source : resolveAnswer;
        };
        services.startProcess = [this](const std::vector<std::string>& argv) {
            started.push_back(argv);
            // What the update program finds when it starts.
            imageAtStart = ReadFileBytes(argv.front()).value_or("");
            return startWorks;
        };
        services.exitBox = [this](int code) { exitCodes.push_back(code); };
        return services;
    }

    bool Check(const std::string& latest, bool allowChoice,
               Text address = "http://127.0.0.1/u.rar") {
        SelfUpdateServices services = Services();
        packageAddress = std::move(address);
        return CheckSelfUpdate(G(latest.c_str()), packageAddress, allowChoice, setup, services);
    }

    fs::path UpdateProgram() const { return dir.path() / "upbox.exe"; }

    test::TempDir dir;
    test::ScriptedDialogs dialogs;
    SelfUpdateSetup setup{dir.path(), "softbox"};
    Text packageAddress;
    Text resolveAnswer;
    std::vector<Text> resolved;
    std::vector<std::vector<std::string>> started;
    std::string imageAtStart;
    bool startWorks = true;
    std::vector<int> exitCodes;
};

TEST_F(SelfUpdateTest, AnEqualOlderOrMissingVersionShowsNothing) {
    for (const char* latest : {"1.0.7.0", "1.0.6.9", "", "1.0.7"}) {
        SCOPED_TRACE(latest);
        EXPECT_FALSE(Check(latest, true));
    }
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_TRUE(started.empty());
    EXPECT_FALSE(fs::exists(UpdateProgram()));
}

TEST_F(SelfUpdateTest, ARecommendedUpdateCanBeDeclined) {
    dialogs.answers = {kButtonCancel};
    EXPECT_FALSE(Check("1.0.8.0", true));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              G("《汀芷·软件盒子》已经有新版本：1.0.8.0，强烈建议立即更新本盒子。"
                "点击确定后将进入自动更新。"));
    EXPECT_EQ(dialogs.shown[0].flags & (kMbButtonMask | kMbIconMask),
              kMbOkCancel | kMbIconInformation);
    EXPECT_EQ(dialogs.shown[0].title, G("信息："));
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(exitCodes.empty());
    EXPECT_FALSE(fs::exists(UpdateProgram()));
}

TEST_F(SelfUpdateTest, AMandatoryUpdateOffersOnlyOkThenHandsOverAndEnds) {
    // An old update program from an earlier update is replaced.
    ASSERT_TRUE(WriteFileBytes(UpdateProgram(), std::string_view("old")));
    resolveAnswer = "http://127.0.0.1/direct.rar";
    EXPECT_TRUE(Check("1.0.8.0", false, G("https://t.tongbupan.example/abc")));
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_EQ(dialogs.shown[0].text,
              G("《汀芷·软件盒子》已经有新版本：1.0.8.0，必须在更新之后才能使用本盒子。"
                "点击确定后将进入自动更新。"));
    EXPECT_EQ(dialogs.shown[0].flags & kMbButtonMask, kMbOk);

    EXPECT_EQ(resolved, std::vector<Text>{G("https://t.tongbupan.example/abc")});
    EXPECT_EQ(packageAddress, "http://127.0.0.1/direct.rar");
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0],
              (std::vector<std::string>{UpdateProgram().string(), "http://127.0.0.1/direct.rar",
                                        (dir.path() / "softbox").string()}));
    EXPECT_EQ(imageAtStart, kImage);
    struct stat st {};
    ASSERT_EQ(::stat(UpdateProgram().c_str(), &st), 0);
    EXPECT_TRUE(st.st_mode & S_IXUSR);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
}

TEST_F(SelfUpdateTest, AnUnresolvableShareLinkIsHandedOverEmpty) {
    SelfUpdateServices services = Services();
    services.resolve = [](Text&) { return Text(); };
    packageAddress = "https://yunpan.example/x";
    EXPECT_TRUE(CheckSelfUpdate("1.0.8.0", packageAddress, false, setup, services));
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0][1], "");
}

TEST_F(SelfUpdateTest, AnUnwritableUpdateProgramIsReportedAndTheBoxGoesOn) {
    // A folder in the update program's place cannot be replaced by a file,
    // whoever runs the test.
    fs::create_directories(UpdateProgram() / "inside");
    EXPECT_FALSE(Check("1.0.8.0", false));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, G(kUpdateProgramWriteFailed));
    EXPECT_EQ(dialogs.shown[1].flags & kMbIconMask, kMbIconWarning);
    EXPECT_EQ(dialogs.shown[1].title, G("信息："));
    EXPECT_TRUE(resolved.empty());
    EXPECT_TRUE(started.empty());
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(SelfUpdateTest, AnUpdateProgramThatDoesNotStartIsReportedAndTheBoxGoesOn) {
    startWorks = false;
    EXPECT_FALSE(Check("1.0.8.0", true));
    ASSERT_EQ(dialogs.shown.size(), 2u);
    EXPECT_EQ(dialogs.shown[1].text, G(kUpdateProgramStartFailed));
    EXPECT_EQ(started.size(), 1u);
    EXPECT_TRUE(exitCodes.empty());
}

TEST_F(SelfUpdateTest, TheVersionComesFromTheExecutableFile) {
    WriteBox("1.0.8.0");
    EXPECT_FALSE(Check("1.0.8.0", true));
    EXPECT_TRUE(dialogs.shown.empty());
    fs::remove(dir.path() / "softbox");
    // Without a version of its own the box never updates itself.
    EXPECT_FALSE(Check("9.9.9.9", true));
    EXPECT_TRUE(dialogs.shown.empty());
}

// The check inside a whole catalog load from the saved copy.
class SelfUpdateLoadTest : public SelfUpdateTest {
protected:
    CatalogLoadResult LoadOffline(const char* boxSection, bool firstStart = false) {
        EXPECT_TRUE(settings.openFile(dir.path() / "汀芷·软件盒子.ini"));
        if (!firstStart) {
            settings.selectSection(G("基本配置"));
            settings.writeBool(G("非首次使用"), true);
            settings.writeBool(G("v1.0.7.0"), true);
        }
        const std::string catalog =
            std::string("[盒子]\r\n") + boxSection +
            "[汀芷·甲]\r\n最新版本=2.0\r\n下载地址=http://127.0.0.1/a.rar\r\n";
        EXPECT_TRUE(WriteFileBytes(OfflineCatalogPath(dir.path()), G(catalog.c_str())));
        CatalogLoadSetup load{dir.path(), "softbox", {}, "http://127.0.0.1:9/box.txt", true};
        CatalogLoadServices services{settings, list, pump, dialogs};
        services.packageSha256Read = [this](const Text& sha256) { packageSha256 = sha256; };
        services.checkSelfUpdate = [this](const Text& latest, Text& address, bool allowChoice) {
            SelfUpdateServices self = Services();
            self.packageSha256 = packageSha256;
            return CheckSelfUpdate(latest, address, allowChoice, setup, self);
        };
        Text downloadSource;
        return LoadCatalog(load, services, downloadSource);
    }

    Text packageSha256;
    test::ScriptedEventPump pump;
    SettingsStore settings{pump, dialogs};
    ProgramList list;
};

TEST_F(SelfUpdateLoadTest, AnOfflineStartChecksTheSavedCopyAndCancelKeepsTheList) {
    dialogs.answers = {kButtonCancel};
    EXPECT_EQ(LoadOffline("最新版本=1.0.8.0\r\n下载地址=http://127.0.0.1/u.rar\r\n允许选择=是\r\n"),
              CatalogLoadResult::kShown);
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find(G("强烈建议立即更新本盒子")), Text::npos);
    EXPECT_EQ(list.size(), 1);
    EXPECT_TRUE(started.empty());
}

TEST_F(SelfUpdateLoadTest, TheCatalogsChecksumGoesToTheUpdateProgramAsAFourthWord) {
    EXPECT_EQ(LoadOffline("最新版本=1.0.8.0\r\n下载地址=http://127.0.0.1/u.rar\r\n校验=ab12\r\n"),
              CatalogLoadResult::kEnded);
    ASSERT_EQ(started.size(), 1u);
    EXPECT_EQ(started[0],
              (std::vector<std::string>{UpdateProgram().string(), "http://127.0.0.1/u.rar",
                                        (dir.path() / "softbox").string(), "ab12"}));
}

// Ending the box only asks the window to close: the load itself must stop at
// the hand-over, or a first start would record the desktop offer and the
// notice as seen while the box was on its way out.
TEST_F(SelfUpdateLoadTest, AHandOverEndsTheLoadBeforeTheListAndAsksNothingMore) {
    EXPECT_EQ(LoadOffline("最新版本=1.0.8.0\r\n下载地址=http://127.0.0.1/u.rar\r\n", true),
              CatalogLoadResult::kEnded);
    EXPECT_EQ(exitCodes, std::vector<int>{0});
    ASSERT_EQ(dialogs.shown.size(), 1u);
    EXPECT_NE(dialogs.shown[0].text.find(G(kSelfUpdateMandatory)), Text::npos);
    EXPECT_EQ(list.size(), 0);
    settings.selectSection(G("基本配置"));
    EXPECT_FALSE(settings.readBool(G("非首次使用")));
    EXPECT_FALSE(settings.readBool(G("v1.0.7.0")));
    settings.selectSection(G("软件排序_官方顺序"));
    EXPECT_EQ(settings.readText(G("汀芷·甲"), G("none")), G("none"));
}

TEST_F(SelfUpdateLoadTest, AnOfflineStartWithTheSameVersionSaysNothing) {
    EXPECT_EQ(LoadOffline("最新版本=1.0.7.0\r\n允许选择=是\r\n"), CatalogLoadResult::kShown);
    EXPECT_TRUE(dialogs.shown.empty());
    EXPECT_EQ(list.size(), 1);
}

TEST(StartProgram, HandsOverEachWordAsOneArgument) {
    test::TempDir dir;
    const fs::path script = dir.path() / "record";
    const fs::path out = dir.path() / "args";
    ASSERT_TRUE(test::WriteFile(
        script,
        "#!/bin/sh\nprintf '%s|' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" " + out.string() + "\n"));
    fs::permissions(script, fs::perms::owner_all);
    ASSERT_TRUE(StartProgram({script.string(), "a \"b\" c", "", "/x y/softbox"}));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!fs::exists(out) && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFileBytes(out), "a \"b\" c||/x y/softbox|");
    EXPECT_FALSE(StartProgram({(dir.path() / "missing").string()}));
}

}  // namespace
}  // namespace box
