#include "StatusProbe.h"

#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorix::master {

bool probeServer(const ServerAddress &server, int timeoutMs)
{
    const UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    if (socket.get() < 0)
        return false;
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(server.ip);
    peer.sin_port = htons(static_cast<std::uint16_t>(server.port));
    // A connected socket receives only the server's datagrams, and a closed port fails at once.
    if (::connect(socket.get(), reinterpret_cast<const sockaddr *>(&peer), sizeof peer) != 0)
        return false;
    static constexpr char request[] = "\\status\\";
    if (::send(socket.get(), request, sizeof request - 1, 0) != static_cast<ssize_t>(sizeof request - 1))
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string reply;
    char buffer[65536];
    while (reply.size() < 1024 * 1024) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            return false;
        pollfd waiting{socket.get(), POLLIN, 0};
        const int ready = ::poll(&waiting, 1, static_cast<int>(left));
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready <= 0)
            return false;
        const ssize_t got = ::recv(socket.get(), buffer, sizeof buffer, 0);
        if (got < 0)
            return false; // the port is unreachable, or another socket error
        reply.append(buffer, static_cast<std::size_t>(got));
        if (reply.find("\\final\\") != std::string::npos || reply.find("\\eof") != std::string::npos)
            return true;
    }
    return false;
}

} // namespace pelorix::master
