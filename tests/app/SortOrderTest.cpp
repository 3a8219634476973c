#include <gtest/gtest.h>

#include "CatalogTestSupport.h"
#include "app/SortOrder.h"

namespace box {
namespace {

using test::CatalogEnv;
using test::G;
using test::IniLines;

struct SortEnv : CatalogEnv {
    int rebuilds = 0;
    SortEnv(std::initializer_list<const char*> catalog) { parse(IniLines(catalog)); }
    void sort(const char* used = "", bool downloadRunning = false) {
        SortProgramList(
            list, settings, pump, [this] { ++rebuilds; }, G(used),
            [downloadRunning] { return downloadRunning; });
    }
    void setCount(const char* name, double count) {
        settings.selectSection(G("软件排序_使用次数"));
        settings.writeNumber(G(name), count);
    }
};

void ExpectPlaced(const ProgramList& list) {
    for (int i = 1; i <= list.size(); ++i) {
        const ProgramRow& r = list.at(i);
        const int top = 8 + (i - 1) * 26;
        EXPECT_EQ(r.nameControl.rect.top, top) << i;
        EXPECT_EQ(r.actionButton.rect.top, top);
        EXPECT_EQ(r.progressControl.rect.top, top);
        EXPECT_EQ(r.deleteButton.rect.top, top);
        EXPECT_EQ(r.tutorialButton.rect.top, top);
        // An installed program's icon keeps its 3-pixel inset in the row.
        const int inset = r.entry.status == kNotDownloaded ? 0 : 3;
        EXPECT_EQ(r.iconControl.rect, (Rect{8 + inset, top + inset, 26 - inset, 26 - inset}));
        EXPECT_EQ(r.hintControl.rect, (Rect{10, 0, 329, 26}));  // moves with its progress control
        for (const ControlState* c :
             {&r.iconControl, &r.nameControl, &r.actionButton, &r.hintControl, &r.progressControl,
              &r.deleteButton, &r.tutorialButton}) {
            EXPECT_EQ(c->tag, std::to_string(i));
        }
    }
}

TEST(SortProgramList, AFreshSettingsFileKeepsTheCatalogOrder) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    env.sort();
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·甲", "汀芷·乙", "汀芷·丙"}));
    EXPECT_EQ(env.rebuilds, 1);
    EXPECT_GE(env.pump.pumps, 1);
    ExpectPlaced(env.list);
}

TEST(SortProgramList, OnlyASortThatChangesARowTellsTheList) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    std::vector<int> changed;
    env.list.onChanged = [&](int row) { changed.push_back(row); };
    env.sort();
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(env.rebuilds, 1);

    env.sort("汀芷·丙");
    EXPECT_EQ(changed, std::vector<int>{0});
    // In place, but with a tag that is no longer its index.
    changed.clear();
    env.list.at(2).deleteButton.tag = "9";
    env.sort();
    EXPECT_EQ(changed, std::vector<int>{0});
    ExpectPlaced(env.list);
}

TEST(SortProgramList, RunningAProgramCountsItAndMovesItUp) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    env.sort("汀芷·丙");
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(env.number("软件排序_使用次数", G("汀芷·丙")), 1);
    ExpectPlaced(env.list);
    // Whole rows move: the entry and its captions go together.
    EXPECT_EQ(env.list.at(1).nameControl.caption.substr(0, 8), G("汀芷·丙"));

    env.sort("汀芷·乙");
    env.sort("汀芷·乙");
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·乙", "汀芷·丙", "汀芷·甲"}));
    EXPECT_EQ(env.number("软件排序_使用次数", G("汀芷·乙")), 2);
    ExpectPlaced(env.list);
}

TEST(SortProgramList, InstalledIconsKeepTheirPlaceInTheirRow) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    env.install("汀芷·甲", "1.0");
    env.install("汀芷·丙", "1.0");
    env.parse(IniLines({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"}));
    ASSERT_EQ(env.list.at(3).iconControl.rect, (Rect{11, 63, 23, 23}));
    env.sort("汀芷·丙");
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(env.list.at(1).iconControl.rect, (Rect{11, 11, 23, 23}));
    EXPECT_EQ(env.list.at(2).iconControl.rect, (Rect{11, 37, 23, 23}));
    EXPECT_EQ(env.list.at(3).iconControl.rect, (Rect{8, 60, 26, 26}));
    ExpectPlaced(env.list);
}

TEST(SortProgramList, NoReSortWhileADownloadRuns) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    env.sort();
    env.sort("汀芷·丙", true);
    // Counted, but the rows stay where the download queue expects them.
    EXPECT_EQ(env.number("软件排序_使用次数", G("汀芷·丙")), 1);
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·甲", "汀芷·乙", "汀芷·丙"}));
    EXPECT_EQ(env.rebuilds, 1);
    // The next sort applies the count.
    env.sort();
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(env.rebuilds, 2);

    // Nor does a sort without a program to count.
    env.setCount("汀芷·乙", 9);
    env.sort("", true);
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(env.rebuilds, 2);
}

TEST(SortProgramList, ASortStartedWhileReadingTheCountsLeavesTheRightOrder) {
    // Reading the counts lets events run; one of them may run a program and
    // so sort the list before the outer sort moves any row. Whenever that
    // happens, the list ends up ordered by the counts.
    for (int trigger = 1; trigger <= 12; ++trigger) {
        SCOPED_TRACE(trigger);
        SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
        env.setCount("汀芷·丙", 5);
        bool nested = false;
        const int start = env.pump.pumps;
        env.pump.onEveryPump = [&] {
            if (nested || env.pump.pumps - start != trigger) return;
            nested = true;
            env.sort("汀芷·乙");
        };
        env.sort();
        env.pump.onEveryPump = nullptr;
        if (!nested) env.sort("汀芷·乙");
        EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·乙", "汀芷·甲"}));
        ExpectPlaced(env.list);
    }
}

TEST(SortProgramList, ADownloadStartedWhileReadingTheCountsStopsTheReSort) {
    // Every event the sort lets run may start a download; whichever one
    // does, the rows stay where the download queue expects them.
    for (int trigger = 1;; ++trigger) {
        SCOPED_TRACE(trigger);
        SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
        env.setCount("汀芷·丙", 5);
        bool downloading = false;
        const int start = env.pump.pumps;
        env.pump.onEveryPump = [&] {
            if (env.pump.pumps - start == trigger) downloading = true;
        };
        SortProgramList(
            env.list, env.settings, env.pump, [&] { ++env.rebuilds; }, G("汀芷·甲"),
            [&] { return downloading; });
        if (!downloading) break;  // the sort let fewer events run
        EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·甲", "汀芷·乙", "汀芷·丙"}));
        EXPECT_EQ(env.rebuilds, 0);
        EXPECT_EQ(env.number("软件排序_使用次数", G("汀芷·甲")), 1);
        ASSERT_LT(trigger, 1000);
    }
}

TEST(SortProgramList, ASortOfAnotherListDoesNotStopThisOne) {
    SortEnv other({"[汀芷·甲]", "[汀芷·乙]"});
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]"});
    env.setCount("汀芷·丙", 5);
    // While this sort reads its keys (its first event comes before them),
    // an event sorts the other list.
    bool sortedOther = false;
    const int start = env.pump.pumps;
    env.pump.onEveryPump = [&] {
        if (sortedOther || env.pump.pumps - start < 2) return;
        sortedOther = true;
        other.sort("汀芷·乙");
    };
    env.sort();
    ASSERT_TRUE(sortedOther);
    EXPECT_EQ(other.names(), (std::vector<std::string>{"汀芷·乙", "汀芷·甲"}));
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丙", "汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(env.rebuilds, 1);
}

TEST(SortProgramList, EqualCountsKeepTheOfficialOrder) {
    SortEnv env({"[汀芷·甲]", "[汀芷·乙]", "[汀芷·丙]", "[汀芷·丁]"});
    env.setCount("汀芷·丁", 3);
    env.setCount("汀芷·乙", 3);
    // Within the tolerance counts are equal.
    env.setCount("汀芷·丙", 3.00000001);
    env.setCount("汀芷·甲", 2.9999);
    env.sort();
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·乙", "汀芷·丙", "汀芷·丁", "汀芷·甲"}));
    ExpectPlaced(env.list);

    // A new catalog order changes the order among equals.
    env.parse(IniLines({"[汀芷·丁]", "[汀芷·丙]", "[汀芷·乙]", "[汀芷·甲]"}));
    env.sort();
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丁", "汀芷·丙", "汀芷·乙", "汀芷·甲"}));
}

TEST(SortProgramList, EveryRowMovesWholeThroughCyclesOfPlaces) {
    // Places 1 and 4 swap, 3, 6 and 5 go round, 2 and 7 stay.
    SortEnv env({"[汀芷·甲]", "最新版本=1", "[汀芷·乙]", "最新版本=2", "[汀芷·丙]", "最新版本=3",
                 "[汀芷·丁]", "最新版本=4", "[汀芷·戊]", "最新版本=5", "[汀芷·己]", "最新版本=6",
                 "[汀芷·庚]", "最新版本=7"});
    env.setCount("汀芷·丁", 9);
    env.setCount("汀芷·乙", 5);
    env.setCount("汀芷·己", 5);
    env.sort();
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·丁", "汀芷·乙", "汀芷·己", "汀芷·甲",
                                                     "汀芷·丙", "汀芷·戊", "汀芷·庚"}));
    const std::vector<std::string> versions = {"4", "2", "6", "1", "3", "5", "7"};
    for (int i = 1; i <= env.list.size(); ++i) {
        EXPECT_EQ(env.list.at(i).entry.latestVersion, versions[static_cast<std::size_t>(i - 1)]);
    }
    ExpectPlaced(env.list);
}

}  // namespace
}  // namespace box
