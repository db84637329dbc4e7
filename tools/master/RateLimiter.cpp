#include "RateLimiter.h"

namespace pelorix::master {

void RateLimiter::prune(std::deque<Clock::time_point> &times, Clock::time_point now) const
{
    while (!times.empty() && now - times.front() >= m_window)
        times.pop_front();
}

bool RateLimiter::blocked(const std::string &client, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_refusals.find(client);
    if (it == m_refusals.end())
        return false;
    prune(it->second, now);
    if (it->second.empty()) {
        m_refusals.erase(it);
        return false;
    }
    return static_cast<int>(it->second.size()) >= m_limit;
}

void RateLimiter::recordRefusal(const std::string &client, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    // Many clients with old entries: drop what has expired so the table stays small.
    if (m_refusals.size() > 4096) {
        for (auto it = m_refusals.begin(); it != m_refusals.end();) {
            prune(it->second, now);
            it = it->second.empty() ? m_refusals.erase(it) : std::next(it);
        }
    }
    auto &times = m_refusals[client];
    prune(times, now);
    times.push_back(now);
    // Only the newest `limit` matter for the decision.
    while (static_cast<int>(times.size()) > m_limit)
        times.pop_front();
}

} // namespace pelorix::master
