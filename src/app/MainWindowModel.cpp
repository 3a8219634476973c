#include "app/MainWindowModel.h"

#include <algorithm>
#include <cmath>

#include "app/WindowLayout.h"

namespace box {

namespace {
// The bars run from 0 to 100 once the list is laid out.
constexpr int kListStep = 100;
}  // namespace

bool StrictlyInside(const Rect& r, int x, int y) {
    return r.left < x && x < r.left + r.width && r.top < y && y < r.top + r.height;
}

int WheelBarPosition(int position, int direction, int rowCount) {
    if (rowCount <= 0) return position;
    // Floating division: with fewer than three rows an integer rows / 3
    // would be 0.
    const double moved = position - direction * 100.0 / (rowCount / 3.0);
    return static_cast<int>(std::lround(std::clamp(moved, 0.0, 100.0)));
}

MainWindowModel::MainWindowModel()
    : animation_(layout::kSitePicture, layout::kVipPicture, layout::kDownloadAllButton),
      headerBase_(layout::kHeaderBase),
      separator_(layout::kSeparator),
      loadingPicture_(layout::kLoadingPicture) {
    scroll_.Bind(layout::kViewport, layout::kContentPanel, layout::kHorizontalBar,
                 layout::kVerticalBar);
}

void MainWindowModel::Resize(int clientWidth, int clientHeight) {
    clientWidth_ = std::max(0, clientWidth);
    clientHeight_ = std::max(0, clientHeight);
    const Rect& tutorial = rowtemplate::kTutorial;
    scroll_.SetContentSize(tutorial.left + tutorial.width + 10, listHeight_ + 10, kListStep);
    const int top = layout::kViewport.top;
    scroll_.Layout(0, top, clientWidth_, clientHeight_ - top);
    const Rect& viewport = scroll_.viewport();
    loadingPicture_ = Rect{0, 0, viewport.width, viewport.height + 2};
    headerBase_.width = clientWidth_;
    separator_ = Rect{0, headerBase_.height, clientWidth_, separator_.height};
    Changed();
}

void MainWindowModel::ListReady(int listHeight) {
    listHeight_ = std::max(0, listHeight);
    loading_ = false;
    Resize(clientWidth_, clientHeight_);
}

bool MainWindowModel::WheelHook(const Rect& windowRect, int x, int y, int delta, int rowCount,
                                WindowActions& actions) {
    if (!StrictlyInside(windowRect, x, y)) return false;
    WheelScroll(delta > 0 ? 1 : -1, rowCount, actions);
    return true;
}

void MainWindowModel::WheelScroll(int direction, int rowCount, WindowActions& actions) {
    actions.HideSearchResults();
    const int position = scroll_.verticalBar().position;
    scroll_.SetPosition(ScrollBarKind::Vertical, WheelBarPosition(position, direction, rowCount));
    Changed();
}

void MainWindowModel::MoveBar(ScrollBarKind bar, int position) {
    scroll_.SetPosition(bar, position);
    Changed();
}

void MainWindowModel::PageBar(ScrollBarKind bar, int direction) {
    MoveBar(bar, direction > 0 ? scroll_.bar(bar).maximum : 0);
}

void MainWindowModel::TickHeader() {
    animation_.Tick();
}

}  // namespace box
