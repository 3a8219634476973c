#pragma once
// The sliding site picture of the header: one pixel per tick, bouncing
// between the VIP picture and the download-all button.

#include "app/ProgramRow.h"

namespace box {

class HeaderAnimation {
public:
    // picture: the sliding picture's start rectangle; it turns right when its
    // left edge has come below leftOf's right edge + 20, and left when its
    // right edge has passed rightOf's left edge - 20.
    HeaderAnimation(const Rect& picture, const Rect& leftOf, const Rect& rightOf);

    // One tick: turn at a limit, then move by one pixel.
    void Tick();

    const Rect& picture() const { return picture_; }
    int direction() const { return direction_; }
    int leftLimit() const { return leftLimit_; }
    int rightLimit() const { return rightLimit_; }

private:
    Rect picture_;
    int leftLimit_;
    int rightLimit_;
    int direction_ = 1;
};

}  // namespace box
