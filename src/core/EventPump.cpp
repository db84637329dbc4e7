#include "core/EventPump.h"

#include <algorithm>
#include <thread>

namespace pelorix
{

void SleepingEventPump::waitForEvents(std::chrono::milliseconds maxWait)
{
    std::this_thread::sleep_for(std::min(maxWait, std::chrono::milliseconds(5)));
}

void PumpWait(EventPump &pump, int ms)
{
    using Clock = std::chrono::steady_clock;
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        // Rounded up: a wait of 1 ms that has 0.9 ms left still waits and handles what is pending.
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(end - Clock::now());
        if (remaining.count() <= 0)
            return;
        pump.waitForEvents(remaining);
        if (Clock::now() >= end)
            return;
        pump.processPendingEvents();
    }
}

} // namespace pelorix
