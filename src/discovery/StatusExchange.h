#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <string_view>

namespace pelorix {

// The request datagram of the status query.
inline constexpr std::string_view kStatusRequest = "\\status\\";

// One UDP status query socket: IPv4, any local port, closed by the destructor.
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

private:
    int m_fd = -1;
};

struct ExchangeResult
{
    bool accepted = false;
    std::string reply; // colour codes removed, when accepted
    int pingMs = 0;
};

// The exchange as one query thread of a refresh runs it: send, one 800 ms window, 300 ms continuation
// windows while datagrams keep coming and neither cancel nor stop is asked for.
// deadlineCheck runs before every continuation window; stopRequested (may be null) is a forced stop,
// obeyed between receive windows.
ExchangeResult RunRefreshExchange(const std::string &address, const std::atomic<bool> &cancelRequested,
                                  const std::function<void()> &deadlineCheck,
                                  const std::atomic<bool> *stopRequested = nullptr);

std::string StripColourCodes(std::string_view text);

} // namespace pelorix
