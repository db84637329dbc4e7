#pragma once

#include "core/EventPump.h"

#include <deque>
#include <functional>

namespace pelorix::test
{

// An event pump for tests: handlers posted to it run as the next pending events, a hook runs at
// every wait (it may throw to leave a wait that nothing else would end), and the waits are counted.
class RecordingPump final : public EventPump
{
  public:
    // Runs once, at the next processPendingEvents.
    void post(std::function<void()> event) { m_events.push_back(std::move(event)); }
    // Runs at the start of every waitForEvents; an empty function removes it.
    void setOnWait(std::function<void()> hook) { m_onWait = std::move(hook); }

    int waitCount() const { return m_waits; }
    int processCount() const { return m_processed; }

    // Returns at once while events are posted; otherwise sleeps through maxWait.
    void waitForEvents(std::chrono::milliseconds maxWait) override;
    void processPendingEvents() override;

  private:
    std::deque<std::function<void()>> m_events;
    std::function<void()> m_onWait;
    int m_waits = 0;
    int m_processed = 0;
};

} // namespace pelorix::test
