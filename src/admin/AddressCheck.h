#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorix
{

using Ipv4Octets = std::array<std::uint8_t, 4>;

// The address check of the Add server window: the text cut at its dots, left to right, each part a whole decimal
// number from 0 to 255 (digits only), exactly four of them; a dot at the very end leaves no fifth part. The four
// numbers when the text passes, nothing otherwise.
std::optional<Ipv4Octets> checkServerAddress(std::string_view text);
bool IsValidServerAddress(std::string_view text);

// A local server by the first three characters of the address text: "127" or "192".
bool IsLocalServerAddress(std::string_view text);

// Whether a list text (the master list) holds the line exactly: lines end at CR LF, a lone CR or a lone LF.
bool ListHoldsLine(std::string_view list, std::string_view line);

// The quick-add line "IP:JOINPORT", blanks removed: the address before the first colon (empty without one) and the
// query port, the join port plus one. No port when the text after the colon (the whole line without a colon, at
// most 255 characters of it) is not a whole number.
struct QuickAddEntry {
    std::string address;
    std::optional<long long> queryPort;
};
QuickAddEntry parseQuickAdd(std::string_view answer);

// The progress line's frames: the dots counter goes 1 to 7 and back to 0, and lives as long as the window.
class ProgressLine
{
  public:
    // Advances the counter and gives the text for its new value: "Adding server " and the frame.
    std::string tick();
    int counter() const { return m_counter; }

  private:
    int m_counter = 0;
};

} // namespace pelorix
