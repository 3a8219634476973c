#pragma once
// Lets window events run during long byte-crunching loops without paying for
// an event round trip per byte: the loop calls Tick() often, the pump runs at
// most once per interval.

#include <chrono>

#include "support/EventPump.h"

namespace box {

class PumpThrottle {
public:
    using Clock = std::chrono::steady_clock;

    explicit PumpThrottle(EventPump* pump,
                          std::chrono::milliseconds every = std::chrono::milliseconds(5))
        : pump_(pump), every_(every), last_(Clock::now()) {}

    // Pumps when the interval has passed since the last pump; true when it did.
    bool Tick() {
        if (!pump_) return false;
        auto now = Clock::now();
        if (now - last_ < every_) return false;
        pump_->ProcessPendingEvents();
        last_ = Clock::now();
        return true;
    }

private:
    EventPump* pump_;
    std::chrono::milliseconds every_;
    Clock::time_point last_;
};

}  // namespace box
