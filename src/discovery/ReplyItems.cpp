#include "discovery/ReplyItems.h"

#include "core/Text.h"
#include "discovery/StatusExchange.h"

#include <algorithm>

namespace pelorix
{

namespace
{

constexpr char kSeparator = '\\';
constexpr char kQuote = '"';

// Bytes 1..31: skipped between items and ending an unquoted one. The blank (32) would be one too, but every blank
// has become "%" before the split; the scan below reads blanks as "%" instead of copying the text first.
bool isSkipped(char c)
{
    const auto b = static_cast<unsigned char>(c);
    return b >= 1 && b < 32;
}

char blankAsPercent(char c)
{
    return c == ' ' ? '%' : c;
}

} // namespace

std::vector<std::string> SplitReplyItems(std::string_view text)
{
    const std::string_view s = untilNul(text);
    std::vector<std::string> items;
    const size_t n = s.size();
    size_t p = 0;
    while (p < n && isSkipped(s[p]))
        ++p;
    while (p < n) {
        std::string item;
        if (s[p] == kQuote) {
            // A quoted item ends at the first quote that is not doubled; without one it runs to the end.
            ++p;
            while (p < n) {
                if (s[p] == kQuote) {
                    if (p + 1 < n && s[p + 1] == kQuote) {
                        item += kQuote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += blankAsPercent(s[p++]);
            }
        } else {
            const size_t start = p;
            while (p < n && !isSkipped(s[p]) && s[p] != kSeparator)
                ++p;
            item.assign(s.substr(start, p - start));
            std::replace(item.begin(), item.end(), ' ', '%');
        }
        items.push_back(std::move(item));
        while (p < n && isSkipped(s[p]))
            ++p;
        if (p < n && s[p] == kSeparator) {
            if (p + 1 == n)
                items.emplace_back(); // a separator at the very end gives an empty last item
            ++p;
            while (p < n && isSkipped(s[p]))
                ++p;
        }
    }
    return items;
}

void restoreBlanks(std::vector<std::string> &items)
{
    for (auto &item : items)
        std::replace(item.begin(), item.end(), '%', ' ');
}

std::optional<std::string> valueAfterKey(const std::vector<std::string> &items, std::string_view key)
{
    for (size_t k = 0; k < items.size(); ++k) {
        if (items[k] == key)
            return k + 1 < items.size() ? items[k + 1] : std::string();
    }
    return std::nullopt;
}

// Removes every "[...]" pair; a "[" with no "]" after it ends the work and the rest stays as it is.
std::string StripColourCodes(std::string_view text)
{
    std::string result;
    result.reserve(text.size());
    size_t p = 0;
    while (p < text.size()) {
        const size_t open = text.find('[', p);
        if (open == std::string_view::npos)
            break;
        const size_t close = text.find(']', open + 1);
        if (close == std::string_view::npos)
            break;
        result.append(text, p, open - p);
        p = close + 1;
    }
    result.append(text, p, std::string_view::npos);
    return result;
}

} // namespace pelorix
