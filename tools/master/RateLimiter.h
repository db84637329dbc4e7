#pragma once

#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <string>

namespace pelorix::master {

// Counts refusals per client address in a sliding window. A client with `limit` refusals inside the
// window is refused without its attempt being checked, until the oldest of them leaves the window.
class RateLimiter
{
public:
    using Clock = std::chrono::steady_clock;

    RateLimiter(int limit, Clock::duration window)
        : m_limit(limit)
        , m_window(window)
    {
    }

    bool blocked(const std::string &client, Clock::time_point now = Clock::now());
    void recordRefusal(const std::string &client, Clock::time_point now = Clock::now());

private:
    void prune(std::deque<Clock::time_point> &times, Clock::time_point now) const;

    std::mutex m_mutex;
    int m_limit;
    Clock::duration m_window;
    std::map<std::string, std::deque<Clock::time_point>> m_refusals;
};

} // namespace pelorix::master
