#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace pelorix::http
{

// An absolute "http://" address taken apart.
struct Url {
    std::string host; // without brackets for an IPv6 literal
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

struct ExchangeLimits {
    int waitForDataMs = 15000;        // each wait for reply data
    int transferMs = 0;               // the whole exchange, connection included; 0 for no limit
    std::size_t maxBodyBytes = 0;     // 0 for no limit
    std::size_t maxHeadBytes = 65536; // status line and header lines together, and each chunk-size line
    int maxInterimReplies = 5;        // 1xx replies before the real one; one more is a fault
};

struct Response {
    Outcome outcome = Outcome::Unreachable;
    bool headComplete = false;
    bool replyStarted = false; // at least one byte of a reply arrived (exchange only)
    int status = 0;
    std::vector<std::pair<std::string, std::string>> headers; // name and value as received, blanks trimmed
};

// Receives the body piece by piece; returning false ends the exchange as a fault.
using BodySink = std::function<bool(std::string_view)>;

// Where the bytes of a reply come from: the connection of an exchange, or memory.
class ByteSource
{
  public:
    struct Read {
        std::size_t size = 0;            // bytes put into the buffer
        Outcome end = Outcome::Complete; // with size 0: Complete when the input ended cleanly, else how it broke
    };

    virtual ~ByteSource() = default;
    // Waits for reply bytes and puts at least one and at most capacity of them into buffer.
    virtual Read read(char *buffer, std::size_t capacity) = 0;
};

// Reply bytes held in memory, handed out at most pieceSize at a time; ends cleanly after the last byte.
class BufferSource final : public ByteSource
{
  public:
    explicit BufferSource(std::string_view bytes, std::size_t pieceSize = std::numeric_limits<std::size_t>::max());
    Read read(char *buffer, std::size_t capacity) override;

  private:
    std::string_view m_bytes;
    std::size_t m_pieceSize;
};

// Reads one reply from source: interim replies, the status line and headers, then the body into sink.
// The outcome is Complete, Broken or Fault; the wait and transfer limits belong to the source.
Response readResponse(ByteSource &source, const ExchangeLimits &limits, const BodySink &sink);

// Connects to host:port (a new connection), sends request as it is, reads the reply and closes.
Response exchange(const std::string &host, int port, std::string_view request, const ExchangeLimits &limits,
                  const BodySink &sink);

// A cookie jar holds name=value texts in order. It takes at most this many cookies of at most this many bytes,
// so no reply can grow the jar, or the Cookie header of later requests, without bound.
inline constexpr std::size_t kMaxCookies = 50;
inline constexpr std::size_t kMaxCookieBytes = 4096;

// One Set-Cookie value: its first name=value pair, blanks trimmed, replaces the entry of that name (names
// compared without regard to case) or is appended; an empty value removes the entry.
void applySetCookie(std::vector<std::string> &jar, std::string_view setCookie);
// Every Set-Cookie header of the reply (the name compared without regard to case), in order.
void applySetCookies(const Response &response, std::vector<std::string> &jar);

} // namespace pelorix::http
