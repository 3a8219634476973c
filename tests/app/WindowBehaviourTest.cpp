#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "app/HeaderAnimation.h"
#include "app/ListLoading.h"
#include "app/MainWindowModel.h"
#include "app/NameCaptionParts.h"
#include "app/RowHighlight.h"
#include "app/RowMouse.h"
#include "app/WindowLayout.h"
#include "app/RowBuilder.h"
#include "catalog/EntryCaptions.h"
#include "support/BoxFolder.h"
#include "support/FileText.h"
#include "FifoGuard.h"
#include "TestDoubles.h"
#include "settings/SettingsStore.h"

namespace box {
namespace {

// Records every handler call as one line.
class RecordingActions : public WindowActions {
public:
    std::vector<std::string> calls;
    void HideSearchResults() override { calls.push_back("hide"); }
    void RunProgram(int row, bool fromIcon) override { Add("run", row, fromIcon); }
    void LocateProgram(int row, bool fromIcon) override { Add("locate", row, fromIcon); }
    void OpenHomepage(int row, bool fromIcon) override { Add("homepage", row, fromIcon); }
    void MakeShortcut(int row) override { Add("shortcut", row, false); }
    void ToggleDownload(int row) override { Add("download", row, false); }
    void DeleteProgram(int row) override { Add("delete", row, false); }
    void OpenTutorial(int row) override { Add("tutorial", row, false); }

private:
    void Add(const char* what, int row, bool fromIcon) {
        calls.push_back(std::string(what) + " " + std::to_string(row) + (fromIcon ? " icon" : ""));
    }
};

TEST(WheelRule, MovesAboutThreeRowsPerNotchWithinTheBarRange) {
    EXPECT_EQ(WheelBarPosition(0, -1, 30), 10);
    EXPECT_EQ(WheelBarPosition(50, 1, 30), 40);
    EXPECT_EQ(WheelBarPosition(95, -1, 30), 100);  // capped at 100
    EXPECT_EQ(WheelBarPosition(5, 1, 30), 0);      // never below the bar's start
    EXPECT_EQ(WheelBarPosition(0, -1, 40), 8);     // 100 / (40 / 3) = 7.5
    // Fewer than three rows: rows / 3 is a fraction, not a division by zero.
    EXPECT_EQ(WheelBarPosition(0, -1, 2), 100);
    EXPECT_EQ(WheelBarPosition(30, -1, 0), 30);
}

TEST(WheelRule, HookActsOnlyStrictlyInsideTheWindow) {
    MainWindowModel model;
    model.Resize(964, 700);
    model.ListReady(8 + 30 * 26);
    RecordingActions actions;
    const Rect window{50, 50, 964, 700};

    // On the edge or outside: nothing happens at all.
    EXPECT_FALSE(model.WheelHook(window, 50, 300, -120, 30, actions));
    EXPECT_FALSE(model.WheelHook(window, 500, 750, -120, 30, actions));
    EXPECT_FALSE(model.WheelHook(window, 2000, 300, -120, 30, actions));
    EXPECT_TRUE(actions.calls.empty());
    EXPECT_EQ(model.scrollArea().verticalBar().position, 0);

    EXPECT_TRUE(model.WheelHook(window, 51, 51, -120, 30, actions));
    EXPECT_EQ(model.scrollArea().verticalBar().position, 10);
    EXPECT_EQ(actions.calls, std::vector<std::string>{"hide"});
    EXPECT_LT(model.scrollArea().contentPanel().top, 0);

    // A positive delta scrolls back up; a delta of 0 counts as down.
    model.WheelHook(window, 400, 400, 120, 30, actions);
    EXPECT_EQ(model.scrollArea().verticalBar().position, 0);
    model.WheelHook(window, 400, 400, 0, 30, actions);
    EXPECT_EQ(model.scrollArea().verticalBar().position, 10);
}

ProgramList ListOf(int n) {
    ProgramList list;
    list.resize(n);
    for (int i = 1; i <= n; ++i) list.at(i).nameControl.tag = ToText(i);
    return list;
}

TEST(HighlightRow, WritesOnlyNamesWhoseColourDiffers) {
    ProgramList list = ListOf(4);
    std::vector<int> changed;
    list.onChanged = [&](int i) { changed.push_back(i); };

    HighlightRow(list, 2);
    EXPECT_EQ(changed, std::vector<int>{2});
    EXPECT_EQ(list.at(2).nameControl.textColor, 0xFF0090u);
    EXPECT_TRUE(list.at(2).nameControl.emphasis);
    EXPECT_EQ(list.at(1).nameControl.textColor, 0xFF0000u);

    // Moving within the same name writes nothing.
    changed.clear();
    HighlightRow(list, 2);
    EXPECT_TRUE(changed.empty());

    changed.clear();
    HighlightRow(list, 3);
    EXPECT_EQ(changed, (std::vector<int>{2, 3}));
    EXPECT_FALSE(list.at(2).nameControl.emphasis);
    EXPECT_TRUE(list.at(3).nameControl.emphasis);

    // The bare panel (0) and an index outside the list un-highlight all.
    changed.clear();
    HighlightRow(list, 0);
    EXPECT_EQ(changed, std::vector<int>{3});
    HighlightRow(list, 99);
    for (int i = 1; i <= 4; ++i) EXPECT_FALSE(list.at(i).nameControl.emphasis);
}

TEST(RowMouseTable, NamesAndIconsFollowTheModifierRules) {
    using E = MouseEventKind;
    using P = RowPart;
    using A = RowAction;
    const std::vector<std::tuple<P, E, int, A>> table = {
        {P::Name, E::LeftDown, 0, A::Run},
        {P::Name, E::LeftDown, kModifierCtrl, A::Homepage},
        {P::Name, E::LeftDown, kModifierAlt, A::Shortcut},
        {P::Name, E::LeftDown, kModifierCtrl | kModifierAlt, A::Run},
        {P::Name, E::LeftDown, kModifierShift, A::Run},
        {P::Name, E::RightUp, kModifierCtrl, A::Locate},
        {P::Name, E::RightDown, 0, A::None},
        {P::Name, E::LeftUp, 0, A::None},
        {P::Icon, E::LeftDown, kModifierCtrl, A::Homepage},
        {P::Icon, E::LeftDown, kModifierAlt, A::Run},
        {P::Icon, E::RightDown, kModifierAlt, A::Locate},
        {P::Icon, E::RightUp, 0, A::None},
        {P::Action, E::Click, 0, A::Download},
        {P::Delete, E::Click, 0, A::Delete},
        {P::Tutorial, E::Click, 0, A::Tutorial},
        {P::Hint, E::LeftDown, 0, A::HideSearchOnly},
        {P::Progress, E::LeftDown, 0, A::HideSearchOnly},
        {P::Panel, E::LeftDown, kModifierCtrl, A::HideSearchOnly},
        {P::Panel, E::RightDown, 0, A::None},
    };
    for (const auto& [part, event, modifiers, expected] : table) {
        EXPECT_EQ(RowMouseAction(part, event, modifiers), expected)
            << "part " << static_cast<int>(part) << " event " << static_cast<int>(event)
            << " modifiers " << modifiers;
    }
}

TEST(RowMouseTable, DispatchHidesSearchHitsFirstAndReadsTheRowFromTheTag) {
    RecordingActions actions;
    DispatchRowMouse(actions, RowPart::Name, MouseEventKind::LeftDown, kModifierCtrl, "7");
    DispatchRowMouse(actions, RowPart::Name, MouseEventKind::LeftDown, kModifierAlt, "7");
    DispatchRowMouse(actions, RowPart::Name, MouseEventKind::RightUp, 0, "12");
    DispatchRowMouse(actions, RowPart::Icon, MouseEventKind::LeftDown, 0, "3");
    DispatchRowMouse(actions, RowPart::Tutorial, MouseEventKind::Click, 0, "4");
    DispatchRowMouse(actions, RowPart::Panel, MouseEventKind::LeftDown, 0, "");
    // A damaged tag reaches the handler as row 0, which it rejects.
    DispatchRowMouse(actions, RowPart::Delete, MouseEventKind::Click, 0, "x1");
    DispatchRowMouse(actions, RowPart::Action, MouseEventKind::Click, 0, "-2");
    DispatchRowMouse(actions, RowPart::Action, MouseEventKind::Click, 0, "99999999999999");
    // An event that means nothing does not even hide the search hits.
    DispatchRowMouse(actions, RowPart::Name, MouseEventKind::LeftUp, 0, "1");
    const std::vector<std::string> expected = {
        "hide",     "homepage 7", "hide",       "shortcut 7", "hide",       "locate 12",
        "hide",     "run 3 icon", "hide",       "tutorial 4", "hide",       "hide",
        "delete 0", "hide",       "download 0", "hide",       "download 0",
    };
    EXPECT_EQ(actions.calls, expected);
}

TEST(RowMouseTable, ADamagedTagLeadsToNoRow) {
    ProgramList list = ListOf(3);
    for (const char* tag : {"", "x1", "0", "-2", "4", "99999999999999", "1e400", "nan"}) {
        EXPECT_EQ(list.find(RowFromTag(tag)), nullptr) << tag;
    }
    ASSERT_NE(list.find(RowFromTag("2")), nullptr);
    EXPECT_EQ(list.find(RowFromTag("2"))->nameControl.tag, "2");
    const ProgramList& rows = list;
    EXPECT_EQ(rows.find(3)->nameControl.tag, "3");
    EXPECT_EQ(rows.find(std::numeric_limits<long>::max()), nullptr);
    EXPECT_EQ(rows.find(std::numeric_limits<long>::min()), nullptr);
}

// Rows as the parser builds them for programs that are not installed; the
// third has no tutorial.
ProgramList BuiltRows(int n) {
    ProgramList list;
    list.resize(n);
    for (int i = 1; i <= n; ++i) {
        CatalogEntry entry;
        entry.name = "p" + std::to_string(i);
        if (i != 3) entry.tutorialUrl = "http://127.0.0.1/t";
        BuildRow(list, i, entry, "");
    }
    return list;
}

TEST(RowHitTest, FindsTheTopmostVisibleControlUnderThePoint) {
    ProgramList list = BuiltRows(3);
    using P = RowPart;
    // Row i spans y = 8 + (i - 1) * 26 .. + 26.
    const std::vector<std::tuple<int, int, RowHit>> table = {
        {20, 20, {1, P::Icon}},
        {45, 40, {2, P::Name}},
        {383, 60, {3, P::Name}},
        {384, 60, {}},  // between name and action
        {392, 8, {1, P::Action}},
        {600, 40, {2, P::Delete}},
        {720, 70, {3, P::Tutorial}},  // disabled, still covers the panel
        {580, 20, {}},                // the hidden progress control
        {20, 7, {}},                  // above the first row
        {20, 86, {}},                 // below the last row
        {900, 20, {}},                // right of the buttons
    };
    for (const auto& [x, y, expected] : table) {
        const RowHit hit = HitTestRows(list, x, y);
        EXPECT_EQ(hit, expected) << x << "," << y << " gave row " << hit.index << " part "
                                 << static_cast<int>(hit.part);
    }

    // A download shows the progress control over the delete and tutorial
    // buttons; its hint, at (10, 0) inside it, over the progress control.
    ProgramRow& row = list.at(2);
    row.progressControl.visible = true;
    EXPECT_EQ(HitTestRows(list, 600, 40), (RowHit{2, P::Progress}));
    row.hintControl.visible = true;
    EXPECT_EQ(HitTestRows(list, 600, 40), (RowHit{2, P::Hint}));
    EXPECT_EQ(HitTestRows(list, 585, 40), (RowHit{2, P::Progress}));
    EXPECT_EQ(HitTestRows(list, 930, 40), (RowHit{2, P::Progress}));
    // A hidden control is not there at all.
    list.at(1).iconControl.visible = false;
    EXPECT_EQ(HitTestRows(list, 20, 20), RowHit{});
}

TEST(RowHitTest, RowBoundsCoverTheVisibleControls) {
    ProgramList list = BuiltRows(2);
    EXPECT_EQ(RowBounds(list.at(2)), (Rect{8, 34, 816 - 8, 26}));
    list.at(2).progressControl.visible = true;
    EXPECT_EQ(RowBounds(list.at(2)), (Rect{8, 34, 936 - 8, 26}));
    ProgramRow hidden;
    EXPECT_EQ(RowBounds(hidden), Rect{});
}

TEST(NameCaption, SplitsTheNameFromWhatFollowsItsFill) {
    CatalogEntry entry;
    entry.name = "汀芷·Excel合并助手"_gbk;
    EXPECT_EQ(SplitNameCaption(NameCaption(entry), entry),
              (NameCaptionParts{entry.name, " (未下载)"_gbk}));
    entry.kind = 1;
    entry.installedVersion = "1.2.0.0";
    EXPECT_EQ(SplitNameCaption(NameCaption(entry), entry),
              (NameCaptionParts{"[免]"_gbk + entry.name, " v1.2.0.0"}));

    // A name that fills the 32 bytes or more has no fill before the rest.
    entry.kind = 0;
    entry.name = "汀芷·" + std::string(40, 'W');
    EXPECT_EQ(SplitNameCaption(NameCaption(entry), entry),
              (NameCaptionParts{entry.name, " v1.2.0.0"}));

    // Any other caption is drawn whole.
    const Text message = "下载失败，请重试"_gbk;
    EXPECT_EQ(SplitNameCaption(message, entry), (NameCaptionParts{message, ""}));
    entry.name = "ab";
    EXPECT_EQ(SplitNameCaption("abc" + std::string(29, ' ') + " v1", entry).name,
              "abc" + std::string(29, ' ') + " v1");
    EXPECT_EQ(SplitNameCaption("ab", entry).name, "ab");
}

TEST(ScrollBarPageClick, JumpsToTheStartOrTheEnd) {
    MainWindowModel model;
    model.Resize(964, 700);
    model.ListReady(8 + 30 * 26);
    model.PageBar(ScrollBarKind::Vertical, 1);
    EXPECT_EQ(model.scrollArea().verticalBar().position, 100);
    const ScrollArea& area = model.scrollArea();
    EXPECT_EQ(area.contentPanel().top, -(area.contentHeight() - area.viewport().height));
    model.PageBar(ScrollBarKind::Vertical, -1);
    EXPECT_EQ(model.scrollArea().verticalBar().position, 0);
    EXPECT_EQ(model.scrollArea().contentPanel().top, 0);
    // A bar with nothing to scroll stays at its start.
    model.PageBar(ScrollBarKind::Horizontal, 1);
    EXPECT_EQ(model.scrollArea().horizontalBar().position, 0);
}

TEST(HeaderAnimationTest, BouncesBetweenTheVipPictureAndTheDownloadButton) {
    HeaderAnimation animation(layout::kSitePicture, layout::kVipPicture,
                              layout::kDownloadAllButton);
    EXPECT_EQ(animation.leftLimit(), 280 + 64 + 20);
    EXPECT_EQ(animation.rightLimit(), 616 - 20);
    animation.Tick();
    EXPECT_EQ(animation.picture().left, 385);  // starts moving right, 1 px a tick

    int minLeft = animation.picture().left;
    int maxLeft = minLeft;
    int turns = 0;
    int direction = animation.direction();
    for (int i = 0; i < 400; ++i) {
        animation.Tick();
        minLeft = std::min(minLeft, animation.picture().left);
        maxLeft = std::max(maxLeft, animation.picture().left);
        if (animation.direction() != direction) ++turns, direction = animation.direction();
        EXPECT_EQ(animation.picture().top, 12);
    }
    // It turns once its right edge is past 596, and once its left edge is
    // below 364: one pixel beyond each limit at most.
    EXPECT_EQ(maxLeft + 195, 597);
    EXPECT_EQ(minLeft, 363);
    EXPECT_GE(turns, 8);
}

TEST(ListLoadingTest, ReadsTheNamedCatalogFileOrTheOfflineCopy) {
    test::TempDir dir;
    const std::filesystem::path folder = dir.path();
    const Text offline = "[汀芷·甲]\r\n最新版本=1.0\r\n"_gbk;
    ASSERT_TRUE(WriteFileText(OfflineCatalogPath(folder), offline));
    EXPECT_EQ(OfflineCatalogPath(folder), folder / "汀芷·软件列表.ini");

    unsetenv(kCatalogFileVariable);
    EXPECT_EQ(ReadLocalCatalog(folder), offline);

    // A named file wins, and like every text file it ends at a zero byte.
    const auto named = dir.path() / "demo catalog.ini";
    ASSERT_TRUE(WriteFileBytes(FromFsPath(named), std::string("[a]\0rest", 8)));
    setenv(kCatalogFileVariable, named.c_str(), 1);
    EXPECT_EQ(ReadLocalCatalog(folder), "[a]");
    setenv(kCatalogFileVariable, (dir.path() / "missing.ini").c_str(), 1);
    EXPECT_EQ(ReadLocalCatalog(folder), "");
    // Set but empty counts as not set.
    setenv(kCatalogFileVariable, "", 1);
    EXPECT_EQ(ReadLocalCatalog(folder), offline);
    unsetenv(kCatalogFileVariable);

    ProgramList list;
    EXPECT_EQ(ListBottom(list), 0);
    list.resize(3);
    list.at(3).tutorialButton.rect = Rect{712, 60, 104, 26};
    EXPECT_EQ(ListBottom(list), 86);
}

// A FIFO planted as the offline copy, or named as the catalog file, would
// hang the window for good if it were opened for reading.
TEST(ListLoadingTest, AFifoInsteadOfTheCatalogIsNoCatalog) {
    test::TempDir dir;
    const std::filesystem::path fifo = OfflineCatalogPath(dir.path());
    ASSERT_TRUE(test::MakeFifo(fifo));
    unsetenv(kCatalogFileVariable);
    test::ScriptedEventPump pump;
    test::ScriptedDialogs dialogs;
    SettingsStore settings(pump, dialogs);
    ProgramList list;
    Text source, text = "unset", named = "unset";
    bool loaded = true;
    EXPECT_TRUE(test::ReturnsWithoutAWriter(fifo, [&] {
        text = ReadLocalCatalog(dir.path());
        loaded = LoadLocalCatalog(dir.path(), settings, list, pump, dialogs, source);
        setenv(kCatalogFileVariable, fifo.c_str(), 1);
        named = ReadLocalCatalog(dir.path() / "elsewhere");
        unsetenv(kCatalogFileVariable);
    }));
    EXPECT_EQ(text, "");
    EXPECT_EQ(named, "");
    EXPECT_FALSE(loaded);
    EXPECT_EQ(dialogs.shown.size(), 1u) << "the message that no catalog could be loaded";
}

}  // namespace
}  // namespace box
