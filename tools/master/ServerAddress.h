#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace pelorix::master
{

// A game server as the master list names it: a dotted IPv4 host and its query port.
struct ServerAddress {
    std::uint32_t ip = 0; // host byte order
    int port = 0;

    // "a.b.c.d:port", the one text form the list stores and compares.
    std::string text() const;
    std::string hostText() const;
};

// Parses "a.b.c.d:port": four decimal parts 0..255 and a port 1..65535, nothing else. Leading zeros are
// refused so that every server has exactly one text (01.2.3.4 and 1.2.3.4 must not both be listed).
std::optional<ServerAddress> parseServerAddress(std::string_view text);

// What an IPv4 address is for, as far as listing it goes. Everything but Public is a special-purpose
// block (IANA registry, RFC 6890 and its updates) that no public game server can have.
enum class AddressKind {
    Public,
    Private,  // 10/8, 172.16/12, 192.168/16: a LAN list may want them
    Loopback, // 127/8: this machine
    Special,  // every other special-purpose block: never probed, never listed
};

struct AddressBlock {
    std::uint32_t base;
    int prefixLength;
    AddressKind kind;
    const char *name;
};

// The special-purpose block holding ip, or nullopt for a public address.
std::optional<AddressBlock> specialBlock(std::uint32_t ip);
AddressKind addressKind(std::uint32_t ip);

} // namespace pelorix::master
