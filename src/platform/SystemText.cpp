#include "platform/SystemText.h"

namespace pelorix {

std::string windowsTextToSystem(std::string_view cp1252)
{
    std::string out;
    out.reserve(cp1252.size());
    for (const char c : cp1252) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t cp = byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string upperAscii(std::string_view text)
{
    std::string out(text);
    for (char &c : out) {
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    }
    return out;
}

} // namespace pelorix
