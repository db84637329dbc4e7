#pragma once

#include <chrono>

namespace pelorix
{

// The one way a wait keeps the window alive. The window plugs in the Qt event loop,
// the command-line browser a plain sleep, tests a pump that runs scripted handlers.
class EventPump
{
  public:
    virtual ~EventPump() = default;

    // Blocks until an event is pending or maxWait has passed, whichever comes first.
    virtual void waitForEvents(std::chrono::milliseconds maxWait) = 0;
    // Handles every event that is pending now, then returns.
    virtual void processPendingEvents() = 0;
};

// Sleeps in small steps; for front ends without an event loop.
class SleepingEventPump final : public EventPump
{
  public:
    void waitForEvents(std::chrono::milliseconds maxWait) override;
    void processPendingEvents() override {}
};

// Returns after ms milliseconds; pending events are handled in the meantime.
void PumpWait(EventPump &pump, int ms);

} // namespace pelorix
