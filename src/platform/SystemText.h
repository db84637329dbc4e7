#pragma once

#include <string>
#include <string_view>

namespace pelorix
{

// The text helpers the platform layer needs; core/Text.h builds on these and offers them to the layers above.

// Code points of the Windows-1252 bytes 0x80..0x9F; the five bytes Windows leaves undefined keep their C1 code.
// The other bytes are their own code points.
inline constexpr char16_t kWindows1252High[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The code point a Windows-1252 byte stands for.
constexpr char32_t windows1252CodePoint(unsigned char byte)
{
    return byte >= 0x80 && byte <= 0x9F ? kWindows1252High[byte - 0x80] : byte;
}

// The program's Windows-1252 text as the system's UTF-8 (file names, arguments).
std::string windowsTextToSystem(std::string_view cp1252);

// Only the letters A-Z and a-z change; every other byte stays.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

} // namespace pelorix
