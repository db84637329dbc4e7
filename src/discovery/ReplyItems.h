#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// Splits a status reply into items. Every blank becomes "%" first; backslash separates items;
// bytes 1..32 are skipped before an item, end an unquoted item and are dropped; the text ends at a NUL.
// "\a\\b" gives "", "a", "", "b". An item that begins with a double quote runs to the next double quote
// that is not doubled ("" stands for one); without a closing quote it runs to the end of the text.
// The empty text gives no items.
std::vector<std::string> SplitReplyItems(std::string_view text);

// What every reader does before using the items: each "%" becomes a blank again.
void restoreBlanks(std::vector<std::string> &items);

// The item directly after the first item equal to key (exact, case-sensitive); "" when the key is the
// last item; nullopt when no item equals key.
std::optional<std::string> valueAfterKey(const std::vector<std::string> &items, std::string_view key);

} // namespace pelorix
