#include <gtest/gtest.h>

#include "app/MainWindowModel.h"
#include "app/ScrollArea.h"
#include "app/WindowLayout.h"

namespace box {
namespace {

constexpr int T = ScrollArea::kBarThickness;

ScrollArea BoundArea(bool hideUnneeded = true) {
    ScrollArea area;
    area.Bind(layout::kViewport, layout::kContentPanel, layout::kHorizontalBar,
              layout::kVerticalBar, hideUnneeded);
    return area;
}

TEST(ScrollArea, BarPositionMapsToAnOffsetOfTheHiddenPart) {
    ScrollArea area = BoundArea();
    area.SetContentSize(826, 798, 100);  // 30 rows
    area.Layout(0, 90, 948, 610);

    // Only the vertical bar is needed; it takes its room from the viewport.
    EXPECT_TRUE(area.verticalBar().visible);
    EXPECT_FALSE(area.horizontalBar().visible);
    EXPECT_EQ(area.viewport(), (Rect{0, 90, 948 - T, 610}));
    EXPECT_EQ(area.verticalBar().rect, (Rect{948 - T, 90, T, 610}));
    EXPECT_EQ(area.verticalBar().maximum, 100);
    EXPECT_EQ(area.contentPanel(), (Rect{0, 0, 948 - T, 610}));

    area.SetPosition(ScrollBarKind::Vertical, 50);
    EXPECT_EQ(area.verticalOffset(), 50 * (798 - 610) / 100);
    EXPECT_EQ(area.contentPanel(), (Rect{0, -94, 948 - T, 610 + 94}));

    area.SetPosition(ScrollBarKind::Vertical, 100);
    // At the end the panel is exactly as tall as the content.
    EXPECT_EQ(area.contentPanel().top, -(798 - 610));
    EXPECT_EQ(area.contentPanel().height, 798);

    // Out-of-range positions are clamped to the bar's range.
    area.SetPosition(ScrollBarKind::Vertical, 250);
    EXPECT_EQ(area.verticalBar().position, 100);
    area.SetPosition(ScrollBarKind::Vertical, -3);
    EXPECT_EQ(area.verticalBar().position, 0);
    EXPECT_EQ(area.contentPanel().top, 0);
}

TEST(ScrollArea, BarsAppearOnlyWhenTheContentIsLarger) {
    ScrollArea area = BoundArea();
    area.SetContentSize(826, 300, 100);
    area.Layout(0, 90, 948, 610);
    EXPECT_FALSE(area.verticalBar().visible);
    EXPECT_FALSE(area.horizontalBar().visible);
    EXPECT_EQ(area.viewport(), (Rect{0, 90, 948, 610}));
    // Nothing to scroll: the bar stays at 0 whatever it is asked.
    area.SetPosition(ScrollBarKind::Vertical, 60);
    EXPECT_EQ(area.verticalBar().position, 0);
    EXPECT_EQ(area.contentPanel(), (Rect{0, 0, 948, 610}));

    // A narrow window needs the horizontal bar, whose height then makes the
    // content taller than what is left: both bars.
    area.SetContentSize(826, 600, 100);
    area.Layout(0, 90, 700, 610);
    EXPECT_TRUE(area.horizontalBar().visible);
    EXPECT_TRUE(area.verticalBar().visible);
    EXPECT_EQ(area.viewport(), (Rect{0, 90, 700 - T, 610 - T}));
    EXPECT_EQ(area.horizontalBar().rect, (Rect{0, 90 + 610 - T, 700 - T, T}));

    // Growing the window again drops both bars and their positions.
    area.SetPosition(ScrollBarKind::Horizontal, 40);
    area.Layout(0, 90, 1200, 800);
    EXPECT_FALSE(area.horizontalBar().visible);
    EXPECT_EQ(area.horizontalBar().position, 0);
    EXPECT_EQ(area.contentPanel(), (Rect{0, 0, 1200, 800}));
}

TEST(ScrollArea, VerticalBarScrollsVerticallyOnlyAndHorizontalReappliesBoth) {
    ScrollArea area = BoundArea();
    area.SetContentSize(2000, 2000, 100);
    area.Layout(0, 0, 517, 517);  // visible part 500 x 500
    area.SetPosition(ScrollBarKind::Horizontal, 10);
    area.SetPosition(ScrollBarKind::Vertical, 20);
    EXPECT_EQ(area.contentPanel(), (Rect{-150, -300, 650, 800}));
    area.SetPosition(ScrollBarKind::Horizontal, 0);
    EXPECT_EQ(area.contentPanel(), (Rect{0, -300, 500, 800}));
}

TEST(ScrollArea, DisableModeKeepsBarsAndDegenerateSizesAreSafe) {
    ScrollArea area = BoundArea(false);
    area.SetContentSize(100, 100, 100);
    area.Layout(0, 90, 400, 400);
    EXPECT_TRUE(area.verticalBar().visible);
    EXPECT_FALSE(area.verticalBar().enabled);
    EXPECT_EQ(area.viewport(), (Rect{0, 90, 400 - T, 400 - T}));

    // A step of 0 and negative sizes must not divide by zero or go negative.
    area.SetContentSize(-5, 5000, 0);
    area.Layout(0, 90, -20, -20);
    area.SetPosition(ScrollBarKind::Vertical, 7);
    EXPECT_GE(area.viewport().width, 0);
    EXPECT_GE(area.viewport().height, 0);
    EXPECT_EQ(area.verticalBar().position, 1);
}

TEST(MainWindowResize, LaysOutListHeaderAndLoadingPicture) {
    MainWindowModel model;
    int changes = 0;
    model.onChanged = [&] { ++changes; };
    model.Resize(964, 700);
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(model.loading());
    EXPECT_EQ(model.headerBase(), (Rect{0, 0, 964, 88}));
    EXPECT_EQ(model.separator(), (Rect{0, 88, 964, 2}));
    const ScrollArea& area = model.scrollArea();
    EXPECT_EQ(area.contentWidth(), 712 + 104 + 10);
    EXPECT_EQ(area.contentHeight(), 10);
    EXPECT_EQ(area.viewport(), (Rect{0, 90, 964, 610}));
    EXPECT_EQ(model.loadingPicture(), (Rect{0, 0, 964, 612}));

    model.ListReady(8 + 30 * 26);
    EXPECT_FALSE(model.loading());
    EXPECT_EQ(area.contentHeight(), 798);
    EXPECT_TRUE(area.verticalBar().visible);
    EXPECT_EQ(area.verticalBar().maximum, 100);
    EXPECT_EQ(model.loadingPicture(), (Rect{0, 0, 964 - T, 612}));

    // A window smaller than its header leaves an empty viewport, not a
    // negative one.
    model.Resize(300, 40);
    EXPECT_EQ(area.viewport().height, 0);
    EXPECT_EQ(model.headerBase().width, 300);
}

}  // namespace
}  // namespace box
