#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "PeWriter.h"
#include "TestDoubles.h"
#include "catalog/CatalogParser.h"
#include "catalog/InstalledProgram.h"
#include "catalog/UsageOrder.h"
#include "settings/SettingsStore.h"
#include "support/BoxFolder.h"

namespace box {
namespace {

using test::G;
using test::IniLines;

// A box folder with the box's settings, and a parse that writes down every
// hook as it runs.
struct EntriesEnv {
    test::TempDir dir;
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
    CatalogContext context{dir.gbk(), settings, pump, dialogs, {}};
    std::vector<std::string> steps;
    std::vector<CatalogEntry> entries;

    EntriesEnv() {
        settings.open(JoinPath(dir.gbk(), G("汀芷·软件盒子.ini")));
        context.hooks.checkSelfUpdate = [this](const Text&, Text&, bool) {
            steps.push_back("update");
            return false;
        };
        context.hooks.exitBox = [this](int code) {
            steps.push_back("exit " + std::to_string(code) + " after " +
                            std::to_string(dialogs.shown.size()) + " message");
        };
        context.hooks.programsListed = [this](int count) {
            steps.push_back("listed " + std::to_string(count));
        };
        context.hooks.programRead = [this](int index, CatalogEntry entry) {
            // The official position is written before the entry is handed out.
            settings.selectSection(G("软件排序_官方顺序"));
            steps.push_back("read " + std::to_string(index) + " " + GbkToUtf8(entry.name) +
                            " official " +
                            std::to_string(static_cast<int>(settings.readNumber(entry.name, -1))));
            entries.push_back(std::move(entry));
        };
        context.hooks.programsDone = [this] { steps.push_back("done"); };
    }

    int parse(const Text& catalog) {
        Text source;
        return ParseCatalog(catalog, context, source);
    }
};

TEST(CatalogEntries, HandedOutInCatalogOrderBetweenTheListingAndTheEnd) {
    EntriesEnv env;
    ASSERT_TRUE(test::InstallProgram(env.dir.path(), "汀芷·乙", test::ProgramLayout("1.5")));
    ASSERT_EQ(env.parse(IniLines({"[盒子]", "最新版本=1.0", "[汀芷·甲]", "最新版本=2.0", "[其他]",
                                  "[汀芷·乙]", "最新版本=1.4"})),
              2);
    EXPECT_EQ(env.steps,
              (std::vector<std::string>{"update", "listed 2", "read 1 汀芷·甲 official 1",
                                        "read 2 汀芷·乙 official 2", "done"}));
    ASSERT_EQ(env.entries.size(), 2u);
    EXPECT_EQ(env.entries[0].latestVersion, "2.0");
    EXPECT_EQ(env.entries[0].status, kNotDownloaded);
    // The installed program's version and status are read before it is
    // handed out.
    EXPECT_EQ(env.entries[1].installedVersion, "1.5");
    EXPECT_EQ(env.entries[1].status, kUpToDate);
}

TEST(CatalogEntries, WithoutProgramsTheEmptyListIsDoneBeforeTheBoxEnds) {
    EntriesEnv env;
    EXPECT_EQ(env.parse(IniLines({"[盒子]", "[汀芷·..]"})), 0);
    EXPECT_EQ(env.steps,
              (std::vector<std::string>{"update", "listed 0", "done", "exit 0 after 1 message"}));
}

TEST(CatalogEntries, ALongCatalogLetsEventsRunWithoutARoundTripPerLine) {
    EntriesEnv env;
    env.context.hooks.programRead = [&](int, CatalogEntry entry) {
        env.entries.push_back(std::move(entry));
    };
    constexpr int kPrograms = 200;
    Text catalog = IniLines({"[盒子]", "最新版本=1.0"});
    SettingsStore expected(env.pump, env.dialogs);
    expected.openPath({}, true);
    expected.selectSection(G("软件排序_官方顺序"));
    for (int i = 1; i <= kPrograms; ++i) {
        const std::string name = "汀芷·软件" + std::to_string(i);
        catalog += "\r\n" +
                   IniLines({("[" + name + "]").c_str(), "最新版本=2.0", "软件主页=http://a/",
                             "下载地址=http://a/1.rar", "是否打开=否", "视频教程=", "软件类型=1"});
        expected.writeNumber(G(name.c_str()), i);
    }
    ASSERT_EQ(env.parse(catalog), kPrograms);
    // The official order as one write per program would have left it.
    EXPECT_EQ(env.settings.getText(), expected.getText());

    // The next start, with the order in the settings already.
    env.entries.clear();
    const int pumpsBefore = env.pump.pumps;
    ASSERT_EQ(env.parse(catalog), kPrograms);
    const int pumps = env.pump.pumps - pumpsBefore;
    EXPECT_GE(pumps, 1);
    // The parse read 1,600 lines and 1,200 keys and wrote 200 settings.
    EXPECT_LT(pumps, kPrograms / 4);
    ASSERT_EQ(env.entries.size(), static_cast<std::size_t>(kPrograms));
    EXPECT_EQ(env.entries[199].downloadUrl, "http://a/1.rar");
    EXPECT_EQ(env.entries[199].kind, 1);
    EXPECT_EQ(env.settings.getText(), expected.getText());
}

TEST(CatalogEntries, InstalledProgramsAreFoundBehindLinksAndEmptyFoldersAreNot) {
    EntriesEnv env;
    test::TempDir elsewhere;
    ASSERT_TRUE(test::InstallProgram(elsewhere.path(), "汀芷·乙", test::ProgramLayout("1.5")));
    std::filesystem::create_directory_symlink(elsewhere.path() / "汀芷·乙",
                                              env.dir.path() / "汀芷·乙");
    std::filesystem::create_directory(env.dir.path() / "汀芷·丙");
    ASSERT_TRUE(test::InstallProgram(env.dir.path(), "汀芷·丁", test::ProgramLayout("0.9")));
    ASSERT_EQ(env.parse(IniLines({"[汀芷·甲]", "最新版本=2.0", "[汀芷·乙]", "最新版本=1.4",
                                  "[汀芷·丙]", "最新版本=1.0", "[汀芷·丁]", "最新版本=1.0"})),
              4);
    ASSERT_EQ(env.entries.size(), 4u);
    EXPECT_EQ(env.entries[0].status, kNotDownloaded);
    EXPECT_EQ(env.entries[1].installedVersion, "1.5");
    EXPECT_EQ(env.entries[1].status, kUpToDate);
    EXPECT_EQ(env.entries[2].installedVersion, "");
    EXPECT_EQ(env.entries[2].status, kNotDownloaded);
    EXPECT_EQ(env.entries[3].installedVersion, "0.9");
    EXPECT_EQ(env.entries[3].status, kUpdateAvailable);
}

TEST(CatalogEntries, RefreshingAnEntryFollowsItsExecutable) {
    test::TempDir dir;
    CatalogEntry entry;
    entry.name = G("汀芷·甲");
    entry.latestVersion = "2.0";
    entry.installedVersion = "1.0";
    entry.status = kUpdateAvailable;
    const std::filesystem::path exe = RefreshEntryStatus(entry, dir.gbk());
    EXPECT_EQ(exe, ProgramExecutablePath(dir.gbk(), entry.name));
    EXPECT_EQ(entry.installedVersion, "");
    EXPECT_EQ(entry.status, kNotDownloaded);

    ASSERT_TRUE(test::InstallProgram(dir.path(), "汀芷·甲", test::ProgramLayout("2.0.0.1")));
    RefreshEntryStatus(entry, dir.gbk());
    EXPECT_EQ(entry.installedVersion, "2.0.0.1");
    EXPECT_EQ(entry.status, kUpToDate);
}

TEST(UsageOrder, CountsFirstThenTheOfficialPositionAndTiesKeepTheirPlaces) {
    EXPECT_TRUE(UsageOrder({}).empty());
    EXPECT_EQ(UsageOrder({{0, 3}, {0, 1}, {0, 2}}), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(UsageOrder({{1, 1}, {5, 3}, {1, 2}, {5, 2}}), (std::vector<int>{4, 2, 1, 3}));
    // Counts closer than the tolerance are equal; fully equal keys stay put.
    EXPECT_EQ(UsageOrder({{1, 2}, {1 + 1e-9, 1}, {0, 7}, {0, 7}}), (std::vector<int>{2, 1, 3, 4}));
}

TEST(UsageOrder, KeysAreReadPerProgramAndAGoneProgramGivesNoOrder) {
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings{pump, dialogs};
    settings.openPath({}, true);
    CountProgramUse(settings, G("汀芷·乙"));
    CountProgramUse(settings, G("汀芷·乙"));
    settings.selectSection(G("软件排序_官方顺序"));
    settings.writeNumber(G("汀芷·甲"), 1);
    settings.writeNumber(G("汀芷·乙"), 2);

    const std::vector<Text> names = {G("汀芷·甲"), G("汀芷·乙")};
    // A handler that selects another section while the keys are read.
    pump.onEveryPump = [&] { settings.selectSection(G("其他")); };
    const int pumpsBefore = pump.pumps;
    const auto keys = ReadUsageKeys(settings, 2, [&](int i) { return &names[i - 1]; });
    ASSERT_TRUE(keys);
    // Events run once per section, not once per program and section.
    EXPECT_EQ(pump.pumps - pumpsBefore, 2);
    EXPECT_EQ((*keys)[0].count, 0);
    EXPECT_EQ((*keys)[0].official, 1);
    EXPECT_EQ((*keys)[1].count, 2);
    EXPECT_EQ((*keys)[1].official, 2);
    EXPECT_EQ(UsageOrder(*keys), (std::vector<int>{2, 1}));

    EXPECT_FALSE(ReadUsageKeys(settings, 2,
                               [&](int i) -> const Text* { return i == 1 ? &names[0] : nullptr; }));
}

}  // namespace
}  // namespace box
