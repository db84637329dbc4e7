#pragma once

#include "platform/UniqueFd.h"

#include <netinet/in.h>

#include <string>

namespace pelorix
{

// This machine's own IPv4 address, 127.0.0.1, where the companion programs and their tests meet.

// 127.0.0.1:port.
sockaddr_in loopbackAddress(int port);
// "127.0.0.1:PORT", a server address as the lists write it.
std::string loopbackHostPort(int port);
// A socket of `type` (SOCK_DGRAM or SOCK_STREAM, SOCK_* flags allowed) bound to 127.0.0.1:port; port 0 lets the
// system pick a free one. Invalid, with errno telling why, when it cannot be made or bound.
UniqueFd bindLoopback(int type, int port = 0);
// The local port of a bound IPv4 socket; 0 when it has none.
int localPort(int fd);

} // namespace pelorix
