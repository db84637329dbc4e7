#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace pelorix::fuzz
{

// A private folder for the files a target writes, made once per process (under $TMPDIR) and removed at exit.
// Ends with '/'.
const std::string &scratchFolder();

// A property the input broke: printed with the input's size, then abort(), which libFuzzer reports as a finding.
void require(bool holds, const char *what);

inline std::string_view asText(const std::uint8_t *data, std::size_t size)
{
    return {reinterpret_cast<const char *>(data), size};
}

} // namespace pelorix::fuzz
