#include "CliEventPump.h"

#include <algorithm>
#include <thread>

namespace pelorix::cli
{

CliEventPump::CliEventPump(std::chrono::milliseconds interval)
    : m_interval(interval)
    , m_nextTick(std::chrono::steady_clock::now() + interval)
{
}

void CliEventPump::waitForEvents(std::chrono::milliseconds maxWait)
{
    std::this_thread::sleep_for(std::min(maxWait, std::chrono::milliseconds(5)));
}

void CliEventPump::processPendingEvents()
{
    const auto now = std::chrono::steady_clock::now();
    if (!m_tick || m_inTick || now < m_nextTick)
        return;
    // Like a timer that fires late: the next tick one interval after this one.
    m_nextTick = now + m_interval;
    m_inTick = true;
    m_tick();
    m_inTick = false;
}

} // namespace pelorix::cli
