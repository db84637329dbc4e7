#include "platform/Loopback.h"

#include <arpa/inet.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdint>

namespace pelorix
{

sockaddr_in loopbackAddress(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    return address;
}

std::string loopbackHostPort(int port)
{
    return "127.0.0.1:" + std::to_string(port);
}

UniqueFd bindLoopback(int type, int port)
{
    UniqueFd socket(::socket(AF_INET, type, 0));
    const sockaddr_in address = loopbackAddress(port);
    if (socket && ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int saved = errno;
        socket.reset();
        errno = saved;
    }
    return socket;
}

int localPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length) != 0 || address.sin_family != AF_INET)
        return 0;
    return ntohs(address.sin_port);
}

} // namespace pelorix
