#include "support/RecordingPump.h"

#include <thread>

namespace pelorix::test
{

void RecordingPump::waitForEvents(std::chrono::milliseconds maxWait)
{
    ++m_waits;
    if (m_onWait)
        m_onWait();
    if (m_events.empty())
        std::this_thread::sleep_for(maxWait);
}

void RecordingPump::processPendingEvents()
{
    ++m_processed;
    // Handlers may post further events or wait themselves; those belong to a later round.
    std::deque<std::function<void()>> now;
    now.swap(m_events);
    for (auto &event : now)
        event();
}

} // namespace pelorix::test
