#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace pelorix
{

// What a later run hands the first one over the single-instance channel: a four-byte big-endian length,
// then that many bytes of arguments, each followed by a zero byte. One request per connection.
inline constexpr std::size_t kInstanceRequestHeaderSize = 4;
// The whole request, header included, is never longer.
inline constexpr std::size_t kInstanceRequestLimit = 64 * 1024;
inline constexpr std::size_t kInstanceRequestMaxArguments = 1024;

// The request for `arguments`. An argument that would take it past either limit is left out with every
// one after it (the first run only needs to hear that a later one started); an argument is cut at a zero
// byte, which a command line cannot hold anyway.
std::string encodeInstanceRequest(const std::vector<std::string> &arguments);

struct InstanceRequest {
    enum class Status { Incomplete, Complete, Invalid };
    Status status = Status::Incomplete;
    std::vector<std::string> arguments; // filled when Complete
};

// Reads the bytes a peer has sent so far. Incomplete: more bytes may still make a request, and it will
// not be longer than kInstanceRequestLimit. Invalid: they never can (a length past the limit, an argument
// without its zero byte, too many arguments, bytes after the request); the peer is to be dropped.
// Nothing is allocated from the length field: it is only compared.
InstanceRequest readInstanceRequest(std::string_view received);

} // namespace pelorix
