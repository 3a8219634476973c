#pragma once
// The scrolling area of the program list: a viewport, a content panel inside
// it and two scroll bars. Plain geometry; the window renders the rectangles.
//
// With a step of s each bar runs from 0 to s, and bar position p stands for an
// offset of p x (content size - visible size) / s pixels. The content panel is
// moved to -offset and made as large as the visible part plus the offset, so
// that everything up to the visible bottom-right corner stays drawn.

#include "app/ProgramRow.h"

namespace box {

enum class ScrollBarKind { Horizontal, Vertical };

struct ScrollBarState {
    Rect rect;             // in the coordinates of the viewport's parent
    bool visible = false;  // hide mode: shown only when needed
    bool enabled = false;  // disable mode: shown always, enabled when needed
    int maximum = 10;      // the step; the minimum is always 0
    int position = 0;
    bool operator==(const ScrollBarState&) const = default;
};

class ScrollArea {
public:
    // Thickness of a scroll bar in pixels.
    static constexpr int kBarThickness = 17;

    // Binds the area to its controls' designed rectangles. With hideUnneeded a
    // bar that has nothing to scroll is hidden, otherwise it is disabled.
    void Bind(const Rect& viewport, const Rect& content, const Rect& horizontalBar,
              const Rect& verticalBar, bool hideUnneeded = true);

    // Size of what is scrolled; step is the bar range (10 when omitted).
    void SetContentSize(int width, int height, int step = 10);

    // Places the viewport and the bars inside the given rectangle (the bars
    // along its right and bottom edges) and re-applies the bar positions.
    void Layout(int left, int top, int width, int height);

    // Moves the content panel to the position of the given bar. The vertical
    // bar scrolls vertically only; the horizontal bar re-applies both.
    void Scroll(ScrollBarKind bar);

    // Sets a bar's position (clamped to its range) and scrolls.
    void SetPosition(ScrollBarKind bar, int position);

    // The viewport's rectangle (without the bars), in its parent's coordinates.
    const Rect& viewport() const { return viewport_; }
    // The content panel's rectangle inside the viewport.
    const Rect& contentPanel() const { return content_; }
    const ScrollBarState& horizontalBar() const { return hbar_; }
    const ScrollBarState& verticalBar() const { return vbar_; }
    const ScrollBarState& bar(ScrollBarKind kind) const {
        return kind == ScrollBarKind::Horizontal ? hbar_ : vbar_;
    }
    int contentWidth() const { return contentWidth_; }
    int contentHeight() const { return contentHeight_; }

    // Pixel offsets the bar positions stand for.
    int horizontalOffset() const;
    int verticalOffset() const;

private:
    ScrollBarState& barRef(ScrollBarKind kind) {
        return kind == ScrollBarKind::Horizontal ? hbar_ : vbar_;
    }
    int Offset(const ScrollBarState& bar, int content, int visible) const;
    void ApplyVertical();
    void ApplyHorizontal();

    Rect viewport_;
    Rect content_;
    ScrollBarState hbar_;
    ScrollBarState vbar_;
    bool hideUnneeded_ = true;
    bool needH_ = false;
    bool needV_ = false;
    int contentWidth_ = 0;
    int contentHeight_ = 0;
    int step_ = 10;
};

}  // namespace box
