#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorix::master {

// A game server as the master list names it: a dotted IPv4 host and its query port.
struct ServerAddress
{
    std::uint32_t ip = 0; // host byte order
    int port = 0;

    // "a.b.c.d:port", the one text form the list stores and compares.
    std::string text() const;
    std::string hostText() const;
    bool isLoopback() const { return (ip >> 24) == 127; }
    bool isUnspecified() const { return (ip >> 24) == 0; }
    // Multicast, reserved and the limited broadcast: never a game server.
    bool isNotUnicast() const { return (ip >> 28) >= 0xE; }
};

// Parses "a.b.c.d:port": four decimal parts 0..255 and a port 1..65535, nothing else. Leading zeros are
// refused so that every server has exactly one text (01.2.3.4 and 1.2.3.4 must not both be listed).
std::optional<ServerAddress> parseServerAddress(std::string_view text);

} // namespace pelorix::master
