#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// The text helpers the platform layer needs; it sits below core/Text.h, which builds on these.

// Code points of the Windows-1252 bytes 0x80..0x9F; the five bytes Windows leaves undefined keep their C1 code.
// The other bytes are their own code points.
inline constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The program's Windows-1252 text as the system's UTF-8 (file names, arguments).
std::string windowsTextToSystem(std::string_view cp1252);
// Only a-z change.
std::string upperAscii(std::string_view text);

} // namespace pelorix
