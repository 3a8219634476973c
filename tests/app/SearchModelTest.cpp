#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "CatalogTestSupport.h"
#include "app/BoxActions.h"
#include "app/SearchModel.h"

namespace box {
namespace {

namespace fs = std::filesystem;
using test::G;

// A list whose name controls show the captions given (UTF-8), with blanks.
ProgramList ListOf(const std::vector<std::string>& captions) {
    ProgramList list;
    list.resize(static_cast<int>(captions.size()));
    for (int i = 1; i <= list.size(); ++i) {
        list.at(i).nameControl.caption = PadToBytes(G(captions[std::size_t(i - 1)].c_str()), 32);
        list.at(i).iconControl.iconBmp = "icon " + std::to_string(i);
    }
    return list;
}

// A search over a list, with the rows its hits ran.
struct SearchEnv {
    explicit SearchEnv(const std::vector<std::string>& captions)
        : list(ListOf(captions)), search(list, pump, [this](int row) { ran.push_back(row); }) {
        search.focusSearchBox = [this] { ++focusRequests; };
    }
    void Type(const char* utf8) { search.TextChanged(G(utf8)); }
    std::vector<int> hitRows() const {
        std::vector<int> rows;
        for (const SearchHit& hit : search.hits()) rows.push_back(hit.row);
        return rows;
    }
    bool Matches(const char* query, const char* caption) {
        search.SetQuery(G(query));
        return search.MatchCaption(G(caption));
    }

    test::ScriptedEventPump pump;
    ProgramList list;
    std::vector<int> ran;
    int focusRequests = 0;
    SearchModel search;
};

TEST(SearchMatch, LettersMatchThePinyinInitialsOfConsecutiveCharacters) {
    SearchEnv env({});
    EXPECT_TRUE(env.Matches("rj", "汀芷软件盒子"));
    EXPECT_TRUE(env.Matches("rjhz", "汀芷软件盒子"));
    EXPECT_TRUE(env.Matches("RJ", "汀芷软件盒子"));
    EXPECT_FALSE(env.Matches("jr", "汀芷软件盒子"));  // consecutive, in order
    EXPECT_FALSE(env.Matches("rh", "汀芷软件盒子"));
    // Letters also match themselves; Chinese characters, digits and
    // punctuation of the query only themselves.
    EXPECT_TRUE(env.Matches("vj", "ABV件"));
    EXPECT_TRUE(env.Matches("r件", "汀芷软件"));
    EXPECT_FALSE(env.Matches("件j", "汀芷软键"));
    EXPECT_TRUE(env.Matches("软j", "汀芷软键"));
    EXPECT_FALSE(env.Matches("r2", "软件2"));
    EXPECT_TRUE(env.Matches("j2", "软件2"));
    // A character outside GB2312's hanzi has no initial.
    EXPECT_FALSE(env.Matches("a", "·"));
}

TEST(SearchMatch, SubstringIgnoresTheCaseOfAsciiLetters) {
    SearchEnv env({});
    EXPECT_TRUE(env.Matches("汀芷", "[免]汀芷·甲v1.0"));
    EXPECT_TRUE(env.Matches("TOOL", "汀芷MyTool"));
    EXPECT_TRUE(env.Matches("mytool", "汀芷MyTool"));
    EXPECT_FALSE(env.Matches("汀芷", "软件"));
    EXPECT_FALSE(env.search.wildcardMode());
}

TEST(SearchMatch, AQueryLongerThanTheCaptionNeverMatchesByInitials) {
    SearchEnv env({});
    EXPECT_TRUE(env.Matches("rjhz", "软件盒子"));
    EXPECT_FALSE(env.Matches("rjhzx", "软件盒子"));
    // Five bytes against four characters of eight bytes: characters count.
    EXPECT_FALSE(env.Matches("rjhzh", "软件盒子"));
    EXPECT_FALSE(MatchInitials("ab", "a"));
    EXPECT_FALSE(MatchInitials("", "a"));
}

TEST(SearchMatch, WildcardsSwitchToAPatternAndSkipTheInitials) {
    SearchEnv env({});
    EXPECT_TRUE(env.Matches("*盒子", "汀芷软件盒子v1.0"));
    EXPECT_TRUE(env.search.wildcardMode());
    EXPECT_TRUE(env.Matches("汀*盒", "汀芷软件盒子"));
    EXPECT_FALSE(env.Matches("*盒子", "汀芷软件"));
    EXPECT_TRUE(env.Matches("甲|乙", "汀芷·乙"));
    EXPECT_TRUE(env.Matches("*SOFT", "mysoft"));
    // By initials "rj|gj" would take 软件|工具 character by character; as a
    // pattern it wants "rj" or "gj" and finds neither.
    EXPECT_TRUE(MatchInitials(G("rj|gj"), G("软件|工具")));
    EXPECT_FALSE(env.Matches("rj|gj", "软件|工具"));
    // "|" as the second byte of a double-byte character is no wildcard.
    const Text withBarTrail =
        "\x81\x7c"
        "abc";
    EXPECT_FALSE(HasWildcard(withBarTrail));
    EXPECT_TRUE(HasWildcard("a?"));
}

TEST(Search, HitsAreTheCaptionsWithoutBlanksWithTheirRowAndPicture) {
    SearchEnv env({"[免]汀芷·软件甲 v1.0", "汀芷·工具乙 (未下载)", "汀芷·软件丙 (未下载)"});
    env.Type("rj");
    ASSERT_EQ(env.search.hits().size(), 2u);
    EXPECT_EQ(GbkToUtf8(env.search.hits()[0].caption), "[免]汀芷·软件甲v1.0");
    EXPECT_EQ(GbkToUtf8(env.search.hits()[1].caption), "汀芷·软件丙(未下载)");
    EXPECT_EQ(env.hitRows(), (std::vector<int>{1, 3}));
    EXPECT_EQ(env.search.hits()[1].image, 2);
    EXPECT_EQ(env.search.selected(), 0);
    EXPECT_TRUE(env.search.visible());
    // Every row let window events run.
    EXPECT_EQ(env.pump.pumps, 3);

    env.Type("xyz");
    EXPECT_TRUE(env.search.hits().empty());
    EXPECT_FALSE(env.search.visible());
    env.Type("rj");
    EXPECT_TRUE(env.search.visible());
    env.Type("");
    EXPECT_FALSE(env.search.visible());
    env.Type("rj");
    env.Type("即输即搜(首拼通配)..");
    EXPECT_FALSE(env.search.visible());
}

TEST(Search, AnOlderSearchStopsAtItsNextHitOnceANewerOneStarted) {
    SearchEnv env({"软件一", "软件二", "软件三", "软件四"});
    // After the first row the user types one more letter: the newer search
    // runs inside the older one's event processing, and the older one then
    // meets its next hit.
    bool typed = false;
    env.pump.onEveryPump = [&] {
        if (typed) return;
        typed = true;
        env.Type("rj");
    };
    env.Type("r");
    EXPECT_EQ(env.search.searchesStarted(), 2);
    EXPECT_EQ(GbkToUtf8(env.search.searchQuery()), "rj");
    EXPECT_EQ(env.hitRows(), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(env.search.visible());
    // Both have ended, the older one too, though it stopped early.
    EXPECT_EQ(env.search.searchesRunning(), 0);
}

TEST(Search, UpAndDownWrapAroundTheHits) {
    SearchEnv env({"软件一", "软件二", "软件三"});
    EXPECT_FALSE(env.search.KeyDown('A'));
    env.Type("rj");
    ASSERT_EQ(env.search.selected(), 0);
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeyUp));
    EXPECT_EQ(env.search.selected(), 2);
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeyDown));
    EXPECT_EQ(env.search.selected(), 0);
    env.search.KeyDown(SearchModel::kKeyDown);
    EXPECT_EQ(env.search.selected(), 1);
    env.search.KeyDown(SearchModel::kKeyUp);
    EXPECT_EQ(env.search.selected(), 0);
    // Without hits the keys are still taken and change nothing.
    env.Type("xyz");
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeyDown));
    EXPECT_EQ(env.search.selected(), -1);
}

TEST(Search, EnterAndSpaceRunTheSelectedHitOrSearchAgain) {
    SearchEnv env({"工具", "软件一", "软件二"});
    env.Type("rj");
    env.search.KeyDown(SearchModel::kKeyDown);
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeyEnter));
    EXPECT_EQ(env.ran, std::vector<int>{3});
    EXPECT_FALSE(env.search.visible());
    EXPECT_EQ(env.focusRequests, 1);
    // Hidden: the key shows the hits of the box's text again.
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeySpace));
    EXPECT_TRUE(env.search.visible());
    EXPECT_EQ(env.ran, std::vector<int>{3});
    EXPECT_TRUE(env.search.KeyDown(SearchModel::kKeySpace));
    EXPECT_EQ(env.ran, (std::vector<int>{3, 2}));
}

TEST(Search, AClickedHitRunsWhenTheHitTimerTicks) {
    SearchEnv env({"软件一", "软件二"});
    env.Type("rj");
    env.search.HitPressed(1);
    EXPECT_EQ(env.search.selected(), 1);
    EXPECT_TRUE(env.search.resultClicked());
    EXPECT_EQ(env.search.hitTimerPeriod(), 500);
    // The click took the focus from the box; the hit stays to be run.
    env.search.FocusLost();
    EXPECT_TRUE(env.search.visible());
    EXPECT_TRUE(env.ran.empty());
    env.search.HitTimerTick();
    EXPECT_EQ(env.search.hitTimerPeriod(), 0);
    EXPECT_EQ(env.ran, std::vector<int>{2});
    EXPECT_FALSE(env.search.visible());
    EXPECT_FALSE(env.search.resultClicked());
    EXPECT_EQ(env.focusRequests, 1);
    // A press beside the hits runs the one selected.
    env.Type("rj");
    env.search.HitPressed(-1);
    env.search.HitTimerTick();
    EXPECT_EQ(env.ran, (std::vector<int>{2, 1}));
}

TEST(Search, PlaceholderAndTypedStyles) {
    SearchEnv env({"软件一"});
    EXPECT_EQ(env.search.boxText(), SearchModel::Placeholder());
    EXPECT_EQ(GbkToUtf8(SearchModel::Placeholder()), "即输即搜(首拼通配)..");
    EXPECT_TRUE(env.search.placeholderStyle());
    EXPECT_EQ(env.search.textColor(), 0x808080u);
    int changes = 0;
    env.search.onChanged = [&] { ++changes; };
    env.search.FocusGained();
    EXPECT_GE(changes, 1);  // the view must clear the box, hits or not
    EXPECT_EQ(env.search.boxText(), "");
    EXPECT_FALSE(env.search.placeholderStyle());
    EXPECT_EQ(env.search.textColor(), 0xFF0090u);
    env.Type("rj");
    EXPECT_TRUE(env.search.visible());
    env.search.FocusLost();
    EXPECT_FALSE(env.search.visible());
    EXPECT_EQ(GbkToUtf8(env.search.boxText()), "rj");  // typed text stays
    EXPECT_FALSE(env.search.placeholderStyle());
    // A press in the box shows the hits of its text again.
    env.search.BoxPressed();
    EXPECT_TRUE(env.search.visible());
    env.search.FocusGained();
    EXPECT_EQ(GbkToUtf8(env.search.boxText()), "rj");
    env.Type("");
    env.search.FocusLost();
    EXPECT_EQ(env.search.boxText(), SearchModel::Placeholder());
    EXPECT_TRUE(env.search.placeholderStyle());
    EXPECT_FALSE(env.search.visible());
}

TEST(Search, TheListMayShrinkWhileASearchLetsEventsRun) {
    SearchEnv env({"软件一", "软件二", "软件三"});
    env.pump.onEveryPump = [&] { env.list.resize(1); };
    env.Type("rj");
    EXPECT_EQ(env.hitRows(), std::vector<int>{1});
}

// The box's actions with two installed programs, 乙 before 甲 in the
// catalog, each with an icon of its own colour.
struct BoxEnv : test::CatalogEnv {
    struct NoDesktop : DesktopShell {
        void Open(const std::string&) override {}
        void ShowInFileManager(const fs::path&) override {}
        void StartProgram(const fs::path& file) override { started.push_back(file); }
        std::vector<fs::path> started;
    } shell;
    BoxActions actions{list, settings, pump, dialogs, shell, {dir.path(), {}, {}}};

    BoxEnv() {
        install("汀芷·甲", "2.0.0.0", {{test::SolidPicture(32, 32, 0xFF2E8B57)}});
        install("汀芷·乙", "2.0.0.0", {{test::SolidPicture(32, 32, 0xFFD2691E)}});
        parse(test::IniLines(
            {"[盒子]", "[汀芷·乙]", "最新版本=2.0.0.0", "[汀芷·甲]", "最新版本=2.0.0.0"}));
        actions.search().BuildSearchImages();
    }
    std::vector<std::string> icons() const {
        std::vector<std::string> out;
        for (int i = 1; i <= list.size(); ++i) out.push_back(list.at(i).iconControl.iconBmp);
        return out;
    }
};

TEST(BoxActions, AHitRunsItsProgramAndTheSortRetakesThePictures) {
    BoxEnv env;
    SearchModel& search = env.actions.search();
    ASSERT_EQ(env.names(), (std::vector<std::string>{"汀芷·乙", "汀芷·甲"}));
    const std::vector<std::string> before = env.icons();
    ASSERT_NE(before[0], before[1]);
    EXPECT_EQ(search.images(), before);

    env.actions.SearchTextChanged(G("甲"));
    ASSERT_EQ(search.hits().size(), 1u);
    EXPECT_EQ(search.hits()[0].row, 2);
    search.KeyDown(SearchModel::kKeyEnter);
    EXPECT_EQ(env.shell.started, std::vector<fs::path>{env.dir.path() / "汀芷·甲" / "汀芷·甲.exe"});
    EXPECT_EQ(env.names(), (std::vector<std::string>{"汀芷·甲", "汀芷·乙"}));
    EXPECT_EQ(search.images(), (std::vector<std::string>{before[1], before[0]}));
}

TEST(BoxActions, RowActionsHideTheHits) {
    BoxEnv env;
    SearchModel& search = env.actions.search();
    env.actions.SearchTextChanged(G("汀芷"));
    ASSERT_TRUE(search.visible());
    env.actions.HideSearchResults();
    EXPECT_FALSE(search.visible());
    search.BoxPressed();
    ASSERT_TRUE(search.visible());
    env.actions.DeleteProgram(1);
    EXPECT_FALSE(search.visible());
    search.BoxPressed();
    env.actions.OpenTutorial(1);
    EXPECT_FALSE(search.visible());
}

}  // namespace
}  // namespace box
