#include "ServerAddress.h"

#include <array>

namespace pelorix::master
{

namespace
{

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

constexpr std::uint32_t ipv4(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

// The IPv4 special-purpose address registry, plus multicast and the limited broadcast.
constexpr std::array<AddressBlock, 18> kSpecialBlocks{{
    {ipv4(0, 0, 0, 0), 8, AddressKind::Special, "this network"},
    {ipv4(10, 0, 0, 0), 8, AddressKind::Private, "private"},
    {ipv4(100, 64, 0, 0), 10, AddressKind::Special, "shared address space"},
    {ipv4(127, 0, 0, 0), 8, AddressKind::Loopback, "loopback"},
    {ipv4(169, 254, 0, 0), 16, AddressKind::Special, "link-local"},
    {ipv4(172, 16, 0, 0), 12, AddressKind::Private, "private"},
    {ipv4(192, 0, 0, 0), 24, AddressKind::Special, "protocol assignments"},
    {ipv4(192, 0, 2, 0), 24, AddressKind::Special, "documentation"},
    {ipv4(192, 31, 196, 0), 24, AddressKind::Special, "AS112"},
    {ipv4(192, 52, 193, 0), 24, AddressKind::Special, "AMT"},
    {ipv4(192, 88, 99, 0), 24, AddressKind::Special, "6to4 relay anycast"},
    {ipv4(192, 168, 0, 0), 16, AddressKind::Private, "private"},
    {ipv4(192, 175, 48, 0), 24, AddressKind::Special, "direct delegation AS112"},
    {ipv4(198, 18, 0, 0), 15, AddressKind::Special, "benchmarking"},
    {ipv4(198, 51, 100, 0), 24, AddressKind::Special, "documentation"},
    {ipv4(203, 0, 113, 0), 24, AddressKind::Special, "documentation"},
    {ipv4(224, 0, 0, 0), 4, AddressKind::Special, "multicast"},
    {ipv4(240, 0, 0, 0), 4, AddressKind::Special, "reserved"}, // 255.255.255.255 included
}};

} // namespace

std::string ServerAddress::hostText() const
{
    return std::to_string(ip >> 24) + '.' + std::to_string((ip >> 16) & 0xFF) + '.' + std::to_string((ip >> 8) & 0xFF) +
           '.' + std::to_string(ip & 0xFF);
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

std::optional<AddressBlock> specialBlock(std::uint32_t ip)
{
    for (const auto &block : kSpecialBlocks) {
        const std::uint32_t mask = ~std::uint32_t{0} << (32 - block.prefixLength);
        if ((ip & mask) == block.base)
            return block;
    }
    return std::nullopt;
}

AddressKind addressKind(std::uint32_t ip)
{
    const auto block = specialBlock(ip);
    return block ? block->kind : AddressKind::Public;
}

} // namespace pelorix::master
