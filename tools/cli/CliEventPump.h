#pragma once

#include "core/EventPump.h"

#include <chrono>
#include <functional>

namespace pelorix::cli
{

// The command-line browser's event pump: sleeps in small steps like SleepingEventPump, and stands in for the
// window's timers by running a tick (the refresh watchdog) every interval while events are handled.
class CliEventPump final : public EventPump
{
  public:
    explicit CliEventPump(std::chrono::milliseconds interval = std::chrono::milliseconds(1000));

    void setTick(std::function<void()> tick) { m_tick = std::move(tick); }

    void waitForEvents(std::chrono::milliseconds maxWait) override;
    void processPendingEvents() override;

  private:
    std::chrono::milliseconds m_interval;
    std::chrono::steady_clock::time_point m_nextTick;
    std::function<void()> m_tick;
    bool m_inTick = false;
};

} // namespace pelorix::cli
