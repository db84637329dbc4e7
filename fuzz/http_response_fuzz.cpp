// The HTTP reply reader on any bytes: interim heads, the status line and headers, a body by its length, in
// chunks or up to the end, then the reply's cookies into a jar. The reply is read twice, whole and one byte at a
// time, and both readings must agree: how the bytes happen to arrive never changes what the reply means.
#include "discovery/HttpExchange.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace
{

using namespace pelorix::http;

struct Reading {
    Response response;
    std::string body;
};

Reading readIn(std::string_view bytes, std::size_t pieceSize, const ExchangeLimits &limits)
{
    BufferSource source(bytes, pieceSize);
    Reading reading;
    reading.response = readResponse(source, limits, [&reading](std::string_view piece) {
        reading.body += piece;
        return true;
    });
    return reading;
}

void require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    ExchangeLimits limits;
    limits.maxBodyBytes = 1u << 20;

    const Reading whole = readIn(bytes, bytes.size(), limits);
    const Reading trickled = readIn(bytes, 1, limits);
    require(whole.response.outcome != Outcome::Unreachable);
    require(whole.response.outcome == trickled.response.outcome);
    require(whole.response.status == trickled.response.status);
    require(whole.response.headers == trickled.response.headers);
    require(whole.body == trickled.body);
    require(whole.response.outcome != Outcome::Complete || whole.response.headComplete);
    require(whole.body.size() <= limits.maxBodyBytes);

    std::vector<std::string> jar = {"sid=1", "lang=en"};
    applySetCookies(whole.response, jar);
    require(jar.size() <= kMaxCookies);
    for (const auto &cookie : jar) {
        const auto eq = cookie.find('=');
        require(eq != std::string::npos && eq > 0 && eq + 1 < cookie.size());
        require(cookie.size() <= kMaxCookieBytes);
    }
    return 0;
}
