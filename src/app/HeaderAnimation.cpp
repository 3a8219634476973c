#include "app/HeaderAnimation.h"

namespace box {

HeaderAnimation::HeaderAnimation(const Rect& picture, const Rect& leftOf, const Rect& rightOf)
    : picture_(picture),
      leftLimit_(leftOf.left + leftOf.width + 20),
      rightLimit_(rightOf.left - 20) {}

void HeaderAnimation::Tick() {
    if (direction_ < 0 && picture_.left < leftLimit_) {
        direction_ = 1;
    } else if (direction_ > 0 && picture_.left + picture_.width > rightLimit_) {
        direction_ = -1;
    }
    picture_.left += direction_;
}

}  // namespace box
