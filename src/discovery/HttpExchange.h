#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelorix::http {

// An absolute "http://" address taken apart.
struct Url
{
    std::string host;         // without brackets for an IPv6 literal
    int port = 80;
    std::string pathAndQuery; // "/" when the address has no path
    bool portGiven = false;
};

// False when the address is not an "http://" address with a host and a valid port.
bool parseUrl(std::string_view address, Url &url);

// How an exchange ended.
enum class Outcome {
    Complete,    // the whole body arrived: by its length, by the last chunk, or by a clean close
    Unreachable, // no connection: the name did not resolve, every address refused or the attempt timed out
    Broken,      // the peer went silent past the wait limit or the connection broke; the body is what arrived
    Fault,       // a protocol violation the client detected, a limit overstepped or the body sink failed
};

struct ExchangeLimits
{
    int waitForDataMs = 15000;        // each wait for reply data
    int transferMs = 0;               // the whole exchange, connection included; 0 for no limit
    std::size_t maxBodyBytes = 0;     // 0 for no limit
    std::size_t maxHeadBytes = 65536; // status line and header lines together, and each chunk-size line
};

struct Response
{
    Outcome outcome = Outcome::Unreachable;
    bool headComplete = false;
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // name and value as received, blanks trimmed
};

// Receives the body piece by piece; returning false ends the exchange as a fault.
using BodySink = std::function<bool(std::string_view)>;

// Connects to host:port (a new connection), sends request as it is, reads the reply and closes.
Response exchange(const std::string &host, int port, std::string_view request, const ExchangeLimits &limits,
                  const BodySink &sink);

} // namespace pelorix::http
