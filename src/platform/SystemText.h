#pragma once

#include <string>
#include <string_view>

namespace pelorix {

// The platform layer's own small text helpers (it sits below core/Text.h and cannot use it).

// The program's Windows-1252 text as the system's UTF-8 (file names, arguments).
std::string windowsTextToSystem(std::string_view cp1252);
// Only a-z change.
std::string upperAscii(std::string_view text);

} // namespace pelorix
