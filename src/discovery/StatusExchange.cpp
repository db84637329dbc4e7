#include "discovery/StatusExchange.h"

#include "core/Text.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

namespace pelorix
{

namespace
{

using Clock = std::chrono::steady_clock;

std::int64_t realtimeNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

int elapsedMs(Clock::time_point since)
{
    return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

} // namespace

// Empties the socket's queue of ICMP reports, so one report faults one receive only.
void DrainSocketErrors(int fd)
{
    char data[512];
    char control[512];
    for (int k = 0; k < 16; ++k) {
        iovec iov{data, sizeof data};
        msghdr msg{};
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        if (::recvmsg(fd, &msg, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
    }
}

UdpQuery::UdpQuery() = default;

UdpQuery::~UdpQuery() = default;

bool UdpQuery::open(const std::string &address)
{
    const size_t colon = address.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string host = address.substr(0, colon);
    int port = 0;
    if (!parseInt32(std::string_view(address).substr(colon + 1), port) || port < 0 || port > 65535)
        return false;

    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (host.empty() || ::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found)
        return false;
    m_hostNetOrder = reinterpret_cast<const sockaddr_in *>(found->ai_addr)->sin_addr.s_addr;
    ::freeaddrinfo(found);
    m_portNetOrder = htons(static_cast<std::uint16_t>(port));

    m_fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (!m_fd)
        return false;
    // ICMP reports (port unreachable) reach an unconnected socket only with IP_RECVERR.
    const int on = 1;
    ::setsockopt(m_fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on);
    // Receive stamps from the kernel: a thread that gets the processor late does not inflate the ping.
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
    m_sentRealtimeNs = -1;
    m_firstReceivedRealtimeNs = -1;
    return true;
}

bool UdpQuery::sendRequest()
{
    if (!m_fd)
        return false;
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = m_hostNetOrder;
    to.sin_port = m_portNetOrder;
    m_sentRealtimeNs = realtimeNs();
    const ssize_t sent = ::sendto(m_fd.get(), kStatusRequest.data(), kStatusRequest.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&to), sizeof to);
    return sent == static_cast<ssize_t>(kStatusRequest.size());
}

std::string UdpQuery::receiveWithin(int ms, bool &fault)
{
    if (!m_fd) {
        fault = true;
        return {};
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        // To the nanosecond: a window that ended a fraction of a millisecond early would miss the query's
        // deadline check that follows it.
        const auto left = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return {};
        const timespec wait{static_cast<time_t>(left / 1000000000), static_cast<long>(left % 1000000000)};
        pollfd pfd{m_fd.get(), POLLIN, 0};
        const int ready = ::ppoll(&pfd, 1, &wait, nullptr);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            fault = true;
            return {};
        }
        if (ready == 0)
            continue; // the time is checked at the top

        std::string payload(kMaxDatagramBytes, '\0');
        alignas(cmsghdr) char control[256];
        iovec iov{payload.data(), payload.size()};
        sockaddr_in from{};
        msghdr msg{};
        msg.msg_name = &from;
        msg.msg_namelen = sizeof from;
        msg.msg_iov = &iov;
        msg.msg_iovlen = 1;
        msg.msg_control = control;
        msg.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(m_fd.get(), &msg, MSG_DONTWAIT);
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)
                continue;
            // ECONNREFUSED and the like: the ICMP report of an unreachable port.
            DrainSocketErrors(m_fd.get());
            fault = true;
            return {};
        }
        if (m_onlyFromServer && (msg.msg_namelen < sizeof from || from.sin_addr.s_addr != m_hostNetOrder ||
                                 from.sin_port != m_portNetOrder))
            continue;
        if (m_firstReceivedRealtimeNs < 0) {
            std::int64_t stamp = -1;
            for (cmsghdr *c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
                if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
                    timespec ts{};
                    std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
                    stamp = static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
                }
            }
            m_firstReceivedRealtimeNs = stamp >= 0 ? stamp : realtimeNs();
        }
        payload.resize(static_cast<size_t>(got));
        return payload;
    }
}

int UdpQuery::firstDatagramDelayMs() const
{
    if (m_firstReceivedRealtimeNs < 0 || m_sentRealtimeNs < 0)
        return -1;
    // A wall clock stepped backwards between the send and the stamp would give a negative time.
    const std::int64_t ns = m_firstReceivedRealtimeNs - m_sentRealtimeNs;
    return ns <= 0 ? 0 : static_cast<int>(ns / 1000000);
}

ExchangeResult RunRefreshExchange(const std::string &address, const std::atomic<bool> &cancelRequested,
                                  const ExchangeHooks &hooks)
{
    ExchangeResult result;
    UdpQuery query;
    bool fault = !query.open(address) || !query.sendRequest();
    if (!fault)
        hooks.markRequestSent();
    bool overflow = false;
    bool stopped = false;
    std::string reply;
    int ping = 0;

    if (!fault) {
        const auto t1 = Clock::now();
        reply = query.receiveWithin(kFirstWindowMs, fault);
        const int firstDelay = query.firstDatagramDelayMs();
        ping = firstDelay >= 0 ? firstDelay : elapsedMs(t1);
    }
    // Continuation windows: at least one, then on while each window brings a non-empty datagram.
    // A datagram of 0 bytes brings nothing and ends the collecting like an empty window.
    while (!fault) {
        if (hooks.stopped()) {
            stopped = true;
            break;
        }
        if (hooks.deadlineCheck)
            hooks.deadlineCheck();
        const std::string chunk = query.receiveWithin(kContinuationWindowMs, fault);
        if (fault)
            break;
        if (reply.size() + chunk.size() > kMaxReplyBytes) {
            overflow = true;
            break;
        }
        reply += chunk;
        if (chunk.empty() || cancelRequested.load())
            break;
    }
    // A stop that came while the last window ran still means the thread records nothing.
    if (!fault && !stopped && hooks.stopped())
        stopped = true;

    if (!fault && !overflow && !stopped && !reply.empty() && reply.find("\\eof") != std::string::npos) {
        result.accepted = true;
        result.reply = StripColourCodes(reply);
        result.pingMs = ping;
    }
    return result;
}

} // namespace pelorix
