#pragma once

#include <chrono>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

struct sockaddr;

namespace pelorix::master
{

// The key under which a client is limited: its /24 for IPv4 (IPv4-mapped IPv6 included) and its /64 for IPv6,
// since one subscriber commonly holds a whole /64 and a rented server can rotate through a /24.
std::string clientPrefix(const sockaddr *address);
// The client's address as text for the log ("-" when unknown).
std::string clientAddressText(const sockaddr *address);

// Counts events per key in a sliding window: a key with `limit` events inside the window is blocked until the
// oldest of them leaves it. Expired keys are dropped a few at a time on every call, oldest first, so no call
// rescans the table; past maxKeys the oldest keys make room. Safe from several threads.
class RateLimiter
{
  public:
    using Clock = std::chrono::steady_clock;

    RateLimiter(int limit, Clock::duration window, std::size_t maxKeys = 65536)
        : m_limit(limit)
        , m_window(window)
        , m_maxKeys(maxKeys)
    {
    }

    bool blocked(const std::string &key, Clock::time_point now = Clock::now());
    void record(const std::string &key, Clock::time_point now = Clock::now());
    // Blocked, or else recorded: one decision under one lock.
    bool tryRecord(const std::string &key, Clock::time_point now = Clock::now());
    std::size_t keyCount();

  private:
    void expireSome(Clock::time_point now);
    void prune(std::vector<Clock::time_point> &times, Clock::time_point now) const;
    bool blockedLocked(const std::string &key, Clock::time_point now);
    void recordLocked(const std::string &key, Clock::time_point now);

    std::mutex m_mutex;
    int m_limit;
    Clock::duration m_window;
    std::size_t m_maxKeys;
    std::unordered_map<std::string, std::vector<Clock::time_point>> m_events;
    std::deque<std::pair<Clock::time_point, std::string>> m_expiry; // one entry per event, oldest first
};

// A global cap: `rate` tokens a second, at most `burst` saved up. Safe from several threads.
class TokenBucket
{
  public:
    using Clock = std::chrono::steady_clock;

    TokenBucket(double rate, double burst, Clock::time_point now = Clock::now())
        : m_rate(rate)
        , m_burst(burst)
        , m_tokens(burst)
        , m_last(now)
    {
    }
    bool take(Clock::time_point now = Clock::now());

  private:
    std::mutex m_mutex;
    double m_rate;
    double m_burst;
    double m_tokens;
    Clock::time_point m_last;
};

} // namespace pelorix::master
