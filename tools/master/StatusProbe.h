#pragma once

#include "ServerAddress.h"

namespace pelorix::master {

// Sends the status query "\status\" to the server and waits up to timeoutMs for its reply to complete:
// true when the datagrams received contain "\final\" or "\eof". Only the server's own datagrams count.
bool probeServer(const ServerAddress &server, int timeoutMs);

} // namespace pelorix::master
