#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace pelorix
{

// Empties a UDP socket's queue of ICMP reports (a closed port, an unreachable host), so that one report faults one
// receive only.
void DrainSocketErrors(int fd);

// The request datagram of the status query.
inline constexpr std::string_view kStatusRequest = "\\status\\";
// One reply datagram holds at most this many bytes.
inline constexpr std::size_t kMaxDatagramBytes = 65535;
// A reply text longer than this counts as no answer, so memory never grows with what a server sends. A full
// server's reply is a few KiB; 100 queries flooding at once stay well inside the program's memory this way.
inline constexpr std::size_t kMaxReplyBytes = 256 * 1024;
// The receive windows of the refresh exchange.
inline constexpr int kFirstWindowMs = 800;
inline constexpr int kContinuationWindowMs = 300;

// One UDP status query socket: IPv4, any local port, closed by the destructor. The socket stays
// unconnected, so datagrams from any sender are taken; it asks for the kernel's ICMP reports, so an
// unreachable port still shows up as a receive error.
class UdpQuery
{
  public:
    UdpQuery();
    ~UdpQuery();
    UdpQuery(const UdpQuery &) = delete;
    UdpQuery &operator=(const UdpQuery &) = delete;

    // Splits "host:port" (host before the first colon, port after it as a decimal integer), resolves the
    // host, opens the socket. False is a fault (bad port text, unresolvable host, no socket).
    bool open(const std::string &address);
    // Sends the request datagram; false is a fault.
    bool sendRequest();
    // Waits up to ms for one datagram; its payload, or "" when none came in time.
    // A socket error (e.g. the port is unreachable) sets fault.
    std::string receiveWithin(int ms, bool &fault);
    // Milliseconds from the send to the kernel's receive time of the first datagram received, -1 before one arrived.
    int firstDatagramDelayMs() const;
    // From now on receiveWithin drops datagrams that do not come from the asked host and port.
    void acceptOnlyFromServer() { m_onlyFromServer = true; }

  private:
    UniqueFd m_fd;
    std::uint32_t m_hostNetOrder = 0;
    std::uint16_t m_portNetOrder = 0;
    std::int64_t m_sentRealtimeNs = -1;          // CLOCK_REALTIME at the send
    std::int64_t m_firstReceivedRealtimeNs = -1; // the kernel's receive stamp of the first datagram
    bool m_onlyFromServer = false;
};

struct ExchangeResult {
    bool accepted = false;
    std::string reply; // colour codes removed, when accepted
    int pingMs = 0;
};

// What a query thread lends the exchange it runs.
struct ExchangeHooks {
    // Runs before every continuation window.
    std::function<void()> deadlineCheck;
    // A forced stop (may be null), obeyed between receive windows; after it nothing is accepted.
    const std::atomic<bool> *stopRequested = nullptr;
    // Set (may be null) once the request datagram has gone out: from then on every wait of the exchange is a
    // receive window, so the thread reaches its own deadline checks in time.
    std::atomic<bool> *requestSent = nullptr;

    bool stopped() const { return stopRequested && stopRequested->load(); }
    void markRequestSent() const
    {
        if (requestSent)
            requestSent->store(true);
    }
};

// The exchange as one query thread of a refresh runs it: send, one 800 ms window, 300 ms continuation
// windows while datagrams keep coming and neither cancel nor stop is asked for. Accepted: no fault, a non-empty
// reply holding "\eof", at most kMaxReplyBytes. The ping runs from the send to the kernel's receive stamp of the
// first datagram, or is the first window's length when that window brought nothing.
ExchangeResult RunRefreshExchange(const std::string &address, const std::atomic<bool> &cancelRequested,
                                  const ExchangeHooks &hooks = {});
// What a query thread calls to run its exchange (RunRefreshExchange, or a scripted one in tests).
using RefreshExchangeFunction = std::function<ExchangeResult(
    const std::string &address, const std::atomic<bool> &cancelRequested, const ExchangeHooks &hooks)>;

std::string StripColourCodes(std::string_view text);

} // namespace pelorix
