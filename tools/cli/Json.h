#pragma once

#include <string>
#include <string_view>

namespace pelorix::cli
{

// Appends a Windows-1252 text as a JSON string (UTF-8, control characters escaped).
void appendJsonString(std::string &out, std::string_view cp1252);

} // namespace pelorix::cli
