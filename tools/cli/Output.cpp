#include "Output.h"

#include "core/Text.h"

#include <cstdio>

namespace pelorix::cli
{

std::string TerminalText(std::string_view cp1252, bool keepLineBreaks)
{
    std::string shown;
    shown.reserve(cp1252.size());
    for (size_t i = 0; i < cp1252.size(); ++i) {
        const char c = cp1252[i];
        const auto byte = static_cast<unsigned char>(c);
        if (keepLineBreaks && (c == '\n' || c == '\r')) {
            // CR LF, CR and LF each become one LF.
            if (c == '\r' && i + 1 < cp1252.size() && cp1252[i + 1] == '\n')
                ++i;
            shown += '\n';
            continue;
        }
        // C0, DEL and the C1 bytes that Windows-1252 leaves undefined (they stay control characters in UTF-8).
        const bool control =
            byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F && windows1252CodePoint(byte) == byte);
        shown += control ? ' ' : c;
    }
    return cp1252ToUtf8(shown);
}

std::optional<AddressArguments> ParseAddressArguments(const char *name, const char *usage,
                                                      const std::vector<std::string> &args)
{
    AddressArguments parsed;
    for (const auto &arg : args) {
        if (arg == "--json") {
            parsed.json = true;
        } else if (parsed.address.empty() && !arg.empty() && arg[0] != '-') {
            parsed.address = utf8ToCp1252(arg);
        } else {
            std::fprintf(stderr, "pelorix-cli %s: unexpected argument '%s'\nusage: pelorix-cli %s\n", name, arg.c_str(),
                         usage);
            return std::nullopt;
        }
    }
    if (parsed.address.empty()) {
        std::fprintf(stderr, "usage: pelorix-cli %s\n", usage);
        return std::nullopt;
    }
    return parsed;
}

} // namespace pelorix::cli
