// The Add server window's readers of outside text: the master list of the listing check (the line the add looks
// for, against the list split as every other list reader splits it) and the address and quick-add texts.

#include "FuzzSupport.h"

#include "admin/AddressCheck.h"
#include "core/Text.h"

#include <algorithm>

using namespace pelorix;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view input = fuzz::asText(data, size);
    // The first line is the entry looked for, the rest the list.
    const std::size_t cut = input.find('\n');
    const std::string_view entry = cut == std::string_view::npos ? input : input.substr(0, cut);
    const std::string_view list = cut == std::string_view::npos ? std::string_view() : input.substr(cut + 1);
    if (entry.find('\r') == std::string_view::npos) {
        const auto lines = splitLines(list);
        const bool expected = std::find(lines.begin(), lines.end(), entry) != lines.end();
        fuzz::require(ListHoldsLine(list, entry) == expected, "listing check: differs from the list's own lines");
    }

    const auto octets = checkServerAddress(input);
    fuzz::require(octets.has_value() == IsValidServerAddress(input), "address check: two answers");
    if (octets) {
        fuzz::require(input.size() >= 7, "address check: too short a text passed");
        fuzz::require(
            std::all_of(input.begin(), input.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); }),
            "address check: a character other than digits and dots passed");
    }
    const QuickAddEntry quick = parseQuickAdd(input);
    fuzz::require(quick.address.find(' ') == std::string::npos, "quick add: a blank stayed in the address");
    fuzz::require(quick.address.size() <= input.size(), "quick add: the address grew");
    return 0;
}
