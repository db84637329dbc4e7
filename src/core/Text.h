#pragma once

#include <string>
#include <string_view>
#include <vector>

class QString;

namespace pelorix {

// Text inside the program is Windows-1252 bytes in a std::string. These helpers convert
// at the edges (widgets, terminals, JSON) and do the few text operations everything shares.

std::string cp1252ToUtf8(std::string_view cp1252);
// Characters that Windows-1252 cannot hold become '?'.
std::string utf8ToCp1252(std::string_view utf8);
QString toQString(std::string_view cp1252);
std::string fromQString(const QString &text);

// Splits at CR LF, lone CR or lone LF. A final line break ends the last line and adds no empty line;
// the empty text gives no lines.
std::vector<std::string> splitLines(std::string_view text);
// Joins with CR LF between the lines and none after the last one.
std::string joinCrLf(const std::vector<std::string> &lines);
// Cuts the text at its first NUL byte, if it has one.
std::string_view untilNul(std::string_view text);

// Only the letters A-Z and a-z change; every other byte stays.
std::string asciiLower(std::string_view text);
std::string asciiUpper(std::string_view text);
bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b);

// A whole number as the program's conversions accept it: optional sign, decimal digits, within 32 bits.
bool parseInt32(std::string_view text, int &value);

} // namespace pelorix
