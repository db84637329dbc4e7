#include "ServerAddress.h"

namespace pelorix::master {

namespace {

// A decimal number without sign or leading zeros, at most maxValue; -1 when the text is not one.
long parseDecimal(std::string_view text, long maxValue)
{
    if (text.empty() || text.size() > 5 || (text.size() > 1 && text[0] == '0'))
        return -1;
    long value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return -1;
        value = value * 10 + (c - '0');
    }
    return value <= maxValue ? value : -1;
}

} // namespace

std::string ServerAddress::hostText() const
{
    return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' + std::to_string((ip >> 8) & 0xFF)
           + '.' + std::to_string(ip & 0xFF);
}

std::string ServerAddress::text() const
{
    return hostText() + ':' + std::to_string(port);
}

std::optional<ServerAddress> parseServerAddress(std::string_view text)
{
    const auto colon = text.find(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    const long port = parseDecimal(text.substr(colon + 1), 65535);
    if (port < 1)
        return std::nullopt;

    std::string_view host = text.substr(0, colon);
    ServerAddress address;
    address.port = static_cast<int>(port);
    for (int part = 0; part < 4; ++part) {
        const auto dot = host.find('.');
        if ((part < 3) == (dot == std::string_view::npos))
            return std::nullopt;
        const long value = parseDecimal(host.substr(0, dot), 255);
        if (value < 0)
            return std::nullopt;
        address.ip = (address.ip << 8) | static_cast<std::uint32_t>(value);
        host = dot == std::string_view::npos ? std::string_view{} : host.substr(dot + 1);
    }
    return address;
}

} // namespace pelorix::master
