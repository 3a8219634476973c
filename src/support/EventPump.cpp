#include "support/EventPump.h"

#include <chrono>
#include <thread>

namespace box {

void EventPump::Sleep(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

void WaitWithEvents(EventPump& pump, int milliseconds, const std::atomic<bool>* stop) {
    int elapsed = 0;
    while (elapsed < milliseconds && !(stop && stop->load())) {
        pump.Sleep(10);
        elapsed += 10;
        pump.ProcessPendingEvents();
    }
}

}  // namespace box
