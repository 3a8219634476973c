#include "app/ScrollArea.h"

#include <algorithm>

namespace box {

void ScrollArea::Bind(const Rect& viewport, const Rect& content, const Rect& horizontalBar,
                      const Rect& verticalBar, bool hideUnneeded) {
    viewport_ = viewport;
    content_ = content;
    hbar_ = ScrollBarState{horizontalBar, false, false, step_, 0};
    vbar_ = ScrollBarState{verticalBar, false, false, step_, 0};
    hideUnneeded_ = hideUnneeded;
    needH_ = needV_ = false;
}

void ScrollArea::SetContentSize(int width, int height, int step) {
    contentWidth_ = std::max(0, width);
    contentHeight_ = std::max(0, height);
    // A step of 0 would make every position meaningless (and divide by 0).
    step_ = std::max(1, step);
    hbar_.maximum = vbar_.maximum = step_;
    hbar_.position = std::clamp(hbar_.position, 0, step_);
    vbar_.position = std::clamp(vbar_.position, 0, step_);
}

void ScrollArea::Layout(int left, int top, int width, int height) {
    width = std::max(0, width);
    height = std::max(0, height);
    const int t = kBarThickness;
    // Each bar takes room from the other direction, so a second look is needed
    // when only the horizontal bar was found necessary at first.
    needV_ = contentHeight_ > height;
    needH_ = contentWidth_ > width - (needV_ ? t : 0);
    if (needH_ && !needV_) needV_ = contentHeight_ > height - t;

    const bool showV = needV_ || !hideUnneeded_;
    const bool showH = needH_ || !hideUnneeded_;
    const int visibleWidth = std::max(0, width - (showV ? t : 0));
    const int visibleHeight = std::max(0, height - (showH ? t : 0));
    viewport_ = Rect{left, top, visibleWidth, visibleHeight};

    vbar_.visible = showV;
    vbar_.enabled = needV_;
    vbar_.rect = Rect{left + visibleWidth, top, showV ? t : 0, visibleHeight};
    hbar_.visible = showH;
    hbar_.enabled = needH_;
    hbar_.rect = Rect{left, top + visibleHeight, visibleWidth, showH ? t : 0};
    if (!needV_) vbar_.position = 0;
    if (!needH_) hbar_.position = 0;
    Scroll(ScrollBarKind::Horizontal);
}

int ScrollArea::Offset(const ScrollBarState& bar, int content, int visible) const {
    if (content <= visible) return 0;
    return static_cast<int>(static_cast<long long>(bar.position) * (content - visible) / step_);
}

int ScrollArea::horizontalOffset() const {
    return Offset(hbar_, contentWidth_, viewport_.width);
}

int ScrollArea::verticalOffset() const {
    return Offset(vbar_, contentHeight_, viewport_.height);
}

void ScrollArea::ApplyVertical() {
    const int offset = verticalOffset();
    content_.top = -offset;
    content_.height = viewport_.height + offset;
}

void ScrollArea::ApplyHorizontal() {
    const int offset = horizontalOffset();
    content_.left = -offset;
    content_.width = viewport_.width + offset;
}

void ScrollArea::Scroll(ScrollBarKind bar) {
    if (bar == ScrollBarKind::Horizontal) ApplyHorizontal();
    ApplyVertical();
}

void ScrollArea::SetPosition(ScrollBarKind kind, int position) {
    const bool needed = kind == ScrollBarKind::Horizontal ? needH_ : needV_;
    barRef(kind).position = needed ? std::clamp(position, 0, step_) : 0;
    Scroll(kind);
}

}  // namespace box
