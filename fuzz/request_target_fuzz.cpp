// The request target of an HTTP request to the reference master-list service.

#include "FuzzSupport.h"

#include "RequestTarget.h"

using namespace pelorix;
using namespace pelorix::master;

namespace
{

bool isHex(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The log line: printable ASCII only, every pwd value blanked, and a long line cut to its first 300 bytes.
void checkLoggable(std::string_view target)
{
    const std::string whole = loggableTarget(target, std::string::npos);
    for (const char c : whole) {
        const auto byte = static_cast<unsigned char>(c);
        fuzz::require(byte >= 0x20 && byte < 0x7F, "a control or 8-bit byte in the log line");
    }
    for (size_t at = whole.find("pwd="); at != std::string::npos; at = whole.find("pwd=", at + 1)) {
        if (at == 0 || (whole[at - 1] != '?' && whole[at - 1] != '&'))
            continue;
        const std::string_view after = std::string_view(whole).substr(at + 4);
        fuzz::require(after.substr(0, 3) == "***", "a pwd value in the log");
        const std::string_view rest = after.substr(3);
        fuzz::require(rest.empty() || rest[0] == '&' || rest[0] == '?', "a pwd value in the log after the stars");
    }
    const std::string log = loggableTarget(target);
    if (whole.size() <= 300)
        fuzz::require(log == whole, "a short log line changed");
    else
        fuzz::require(log == whole.substr(0, 300) + "...", "a long log line not cut to its beginning");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view target = fuzz::asText(data, size);
    const RequestTarget parsed = parseRequestTarget(target);
    fuzz::require(parsed.path.size() <= target.size(), "a path longer than the target");
    fuzz::require(parsed.path.find_first_of("?#") == std::string::npos, "a query or fragment inside the path");
    for (const auto &[name, value] : parsed.query) {
        fuzz::require(name.size() + value.size() <= target.size(), "a parameter longer than the target");
        fuzz::require(parsed.has(name), "a parsed name that has() does not find");
    }

    // Decoding never grows the text, and text without a '%' followed by two hex digits is left alone.
    const std::string decoded = percentDecode(target);
    fuzz::require(decoded.size() <= target.size(), "percent decoding grew the text");
    bool escapes = false;
    for (size_t i = 0; i + 2 < target.size(); ++i)
        escapes = escapes || (target[i] == '%' && isHex(target[i + 1]) && isHex(target[i + 2]));
    if (!escapes)
        fuzz::require(decoded == target, "text without escapes changed");

    checkLoggable(target);
    return 0;
}
