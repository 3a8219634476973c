#pragma once
// How long operations on the user-interface thread let window events run.
// The window supplies a pump that processes pending events; tests supply one
// that runs scripted handlers, so re-entry can be tested without a window.

#include <atomic>

namespace box {

class EventPump {
public:
    virtual ~EventPump() = default;
    // Runs every event that is waiting, then returns.
    virtual void ProcessPendingEvents() = 0;
    // Sleeps on the calling thread. Tests override it to advance a clock.
    virtual void Sleep(int milliseconds);
};

// A pump without a window: nothing to process, real sleeping.
class NullEventPump : public EventPump {
public:
    void ProcessPendingEvents() override {}
};

// Waits ms milliseconds in 10 ms steps, processing pending events after every
// step, until the time is up or *stop becomes true.
void WaitWithEvents(EventPump& pump, int milliseconds, const std::atomic<bool>* stop = nullptr);

}  // namespace box
