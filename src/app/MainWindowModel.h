#pragma once
// The main window as plain state: the geometry of the header, the scrolling
// list and the loading picture, the resize step and the mouse wheel. The Qt
// window renders it and forwards its events here.

#include <functional>

#include "app/HeaderAnimation.h"
#include "app/ScrollArea.h"
#include "app/WindowActions.h"

namespace box {

class MainWindowModel {
public:
    MainWindowModel();

    // The resize step: content size, viewport, loading picture, header width.
    void Resize(int clientWidth, int clientHeight);

    // The list has been built: records its bottom edge (listHeight), lays the
    // window out again and hides the loading picture.
    void ListReady(int listHeight);

    // The window-level wheel hook: acts only when (x, y) lies strictly inside
    // windowRect (all in screen coordinates). Returns whether it scrolled; the
    // caller passes the event on in every case.
    bool WheelHook(const Rect& windowRect, int x, int y, int delta, int rowCount,
                   WindowActions& actions);

    // Wheel handling proper (also the content panel's own wheel event):
    // direction +1 scrolls up, -1 down, by about three rows per notch.
    void WheelScroll(int direction, int rowCount, WindowActions& actions);

    // A scroll bar was moved by the user.
    void MoveBar(ScrollBarKind bar, int position);

    // A click in the empty part of a bar, before (direction -1) or after (+1)
    // its handle: the list jumps to its start or its end, as the help text
    // tells the user.
    void PageBar(ScrollBarKind bar, int direction);

    // One tick of the header animation. It runs fifty times a second, so it
    // does not go through onChanged: the window moves the one picture.
    void TickHeader();

    const ScrollArea& scrollArea() const { return scroll_; }
    const Rect& headerBase() const { return headerBase_; }
    const Rect& separator() const { return separator_; }
    const Rect& loadingPicture() const { return loadingPicture_; }
    const Rect& sitePicture() const { return animation_.picture(); }
    const HeaderAnimation& headerAnimation() const { return animation_; }
    bool loading() const { return loading_; }
    int listHeight() const { return listHeight_; }
    int clientWidth() const { return clientWidth_; }
    int clientHeight() const { return clientHeight_; }

    // Called after every change of the state above.
    std::function<void()> onChanged;

private:
    void Changed() const {
        if (onChanged) onChanged();
    }

    ScrollArea scroll_;
    HeaderAnimation animation_;
    Rect headerBase_;
    Rect separator_;
    Rect loadingPicture_;
    bool loading_ = true;
    int listHeight_ = 0;
    int clientWidth_ = 0;
    int clientHeight_ = 0;
};

// True when (x, y) lies strictly inside r: left < x < left + width, and the
// same vertically.
bool StrictlyInside(const Rect& r, int x, int y);

// The vertical bar position after one wheel notch: position - direction x 100
// / (rows / 3), rounded, kept within 0..100. Without rows nothing moves.
int WheelBarPosition(int position, int direction, int rowCount);

}  // namespace box
