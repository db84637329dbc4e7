#include "platform/SystemText.h"

namespace pelorix {

namespace {

// Code points of the bytes 0x80..0x9F; the five bytes Windows leaves undefined keep their C1 code.
constexpr char16_t kHighControl[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

std::string windowsTextToSystem(std::string_view cp1252)
{
    std::string out;
    out.reserve(cp1252.size());
    for (const char c : cp1252) {
        const auto byte = static_cast<unsigned char>(c);
        const char32_t cp = byte >= 0x80 && byte <= 0x9F ? kHighControl[byte - 0x80] : byte;
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
