#include "admin/AddressCheck.h"

#include "core/Text.h"

namespace pelorix
{

namespace
{

// A part of the address: digits only, at most 255 in value; leading zeros allowed.
std::optional<std::uint8_t> octet(std::string_view part)
{
    if (part.empty())
        return std::nullopt;
    unsigned value = 0;
    for (const char c : part) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
        if (value > 255)
            return std::nullopt;
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace

std::optional<Ipv4Octets> checkServerAddress(std::string_view text)
{
    Ipv4Octets octets{};
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        const std::size_t dot = text.find('.', start);
        const std::string_view part =
            text.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
        const auto value = octet(part);
        if (!value || count == octets.size())
            return std::nullopt;
        octets[count++] = *value;
        if (dot == std::string_view::npos || dot + 1 == text.size())
            break; // a dot at the very end leaves nothing to read after it
        start = dot + 1;
    }
    if (count != octets.size())
        return std::nullopt;
    return octets;
}

bool IsValidServerAddress(std::string_view text)
{
    return checkServerAddress(text).has_value();
}

bool IsLocalServerAddress(std::string_view text)
{
    const std::string_view prefix = text.substr(0, 3);
    return prefix == "127" || prefix == "192";
}

QuickAddEntry parseQuickAdd(std::string_view answer)
{
    std::string line;
    line.reserve(answer.size());
    for (const char c : answer) {
        if (c != ' ')
            line += c;
    }
    QuickAddEntry entry;
    const std::size_t colon = line.find(':');
    if (colon != std::string::npos)
        entry.address = line.substr(0, colon);
    const std::string portText = colon == std::string::npos ? line.substr(0, 255) : line.substr(colon + 1, 255);
    int joinPort = 0;
    if (parseInt32(portText, joinPort))
        entry.queryPort = static_cast<long long>(joinPort) + 1;
    return entry;
}

std::string ProgressLine::tick()
{
    static constexpr const char *kFrames[] = {"", ".", ". .", ". . .", ". . . .", ". . . . .", ". . . . ."};
    ++m_counter;
    if (m_counter >= 7) {
        m_counter = 0;
        return "Adding server ";
    }
    return std::string("Adding server ") + kFrames[m_counter];
}

bool ListHoldsLine(std::string_view list, std::string_view line)
{
    for (std::size_t start = 0; start < list.size();) {
        std::size_t end = list.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = list.size();
        if (list.substr(start, end - start) == line)
            return true;
        start = end + (list.substr(end, 2) == "\r\n" ? 2 : 1);
    }
    return false;
}

} // namespace pelorix
