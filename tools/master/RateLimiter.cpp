#include "RateLimiter.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace pelorix::master
{

namespace
{

// Expired entries dropped per call: enough to keep up with any rate of calls, small enough to bound each call.
constexpr int kExpiryStep = 8;

std::string ipv4Prefix(const unsigned char *bytes)
{
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u.0/24", bytes[0], bytes[1], bytes[2]);
    return text;
}

} // namespace

std::string clientPrefix(const sockaddr *address)
{
    if (!address)
        return "-";
    if (address->sa_family == AF_INET) {
        const auto *v4 = reinterpret_cast<const sockaddr_in *>(address);
        return ipv4Prefix(reinterpret_cast<const unsigned char *>(&v4->sin_addr.s_addr));
    }
    if (address->sa_family == AF_INET6) {
        const auto *v6 = reinterpret_cast<const sockaddr_in6 *>(address);
        const unsigned char *bytes = v6->sin6_addr.s6_addr;
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            return ipv4Prefix(bytes + 12);
        char text[48];
        std::snprintf(text, sizeof text, "%x:%x:%x:%x::/64", bytes[0] << 8 | bytes[1], bytes[2] << 8 | bytes[3],
                      bytes[4] << 8 | bytes[5], bytes[6] << 8 | bytes[7]);
        return text;
    }
    return "-";
}

std::string clientAddressText(const sockaddr *address)
{
    char text[INET6_ADDRSTRLEN] = "-";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in *>(address)->sin_addr, text, sizeof text);
    else if (address && address->sa_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr, text, sizeof text);
    return text;
}

void RateLimiter::prune(std::vector<Clock::time_point> &times, Clock::time_point now) const
{
    const auto live = std::find_if(times.begin(), times.end(), [&](auto t) { return now - t < m_window; });
    times.erase(times.begin(), live);
}

void RateLimiter::expireSome(Clock::time_point now)
{
    for (int i = 0; i < kExpiryStep && !m_expiry.empty() && now - m_expiry.front().first >= m_window; ++i) {
        const auto it = m_events.find(m_expiry.front().second);
        if (it != m_events.end()) {
            prune(it->second, now);
            if (it->second.empty())
                m_events.erase(it);
        }
        m_expiry.pop_front();
    }
}

bool RateLimiter::blockedLocked(const std::string &key, Clock::time_point now)
{
    const auto it = m_events.find(key);
    if (it == m_events.end())
        return false;
    prune(it->second, now);
    return static_cast<int>(it->second.size()) >= m_limit;
}

void RateLimiter::recordLocked(const std::string &key, Clock::time_point now)
{
    // Full: the keys of the oldest events go first, whether or not their window has passed.
    const std::size_t maxEvents = m_maxKeys * static_cast<std::size_t>(std::max(1, m_limit));
    while ((m_events.size() >= m_maxKeys && !m_events.count(key)) || m_expiry.size() >= maxEvents) {
        if (m_expiry.empty())
            break;
        m_events.erase(m_expiry.front().second);
        m_expiry.pop_front();
    }
    auto it = m_events.try_emplace(key).first;
    auto &times = it->second;
    prune(times, now);
    times.push_back(now);
    // Only the newest `limit` matter for the decision.
    if (static_cast<int>(times.size()) > m_limit)
        times.erase(times.begin());
    m_expiry.emplace_back(now, key);
}

bool RateLimiter::blocked(const std::string &key, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    expireSome(now);
    return blockedLocked(key, now);
}

void RateLimiter::record(const std::string &key, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    expireSome(now);
    recordLocked(key, now);
}

bool RateLimiter::tryRecord(const std::string &key, Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    expireSome(now);
    if (blockedLocked(key, now))
        return false;
    recordLocked(key, now);
    return true;
}

std::size_t RateLimiter::keyCount()
{
    const std::lock_guard lock(m_mutex);
    return m_events.size();
}

bool TokenBucket::take(Clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    if (now > m_last) {
        m_tokens = std::min(m_burst, m_tokens + std::chrono::duration<double>(now - m_last).count() * m_rate);
        m_last = now;
    }
    if (m_tokens < 1.0)
        return false;
    m_tokens -= 1.0;
    return true;
}

} // namespace pelorix::master
