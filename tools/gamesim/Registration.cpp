#include "Registration.h"

#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace pelorix::gamesim
{

namespace
{

constexpr int kTimeoutMs = 5000;

struct FdCloser {
    int fd;
    ~FdCloser()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// One GET; true when an HTTP status line came back.
bool httpGet(const addrinfo &address, const std::string &request, std::string &error)
{
    FdCloser sock{::socket(address.ai_family, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (sock.fd < 0 || ::connect(sock.fd, address.ai_addr, address.ai_addrlen) != 0) {
        error = std::strerror(errno);
        return false;
    }
    timeval timeout{kTimeoutMs / 1000, 0};
    ::setsockopt(sock.fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    ::setsockopt(sock.fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
    size_t sent = 0;
    while (sent < request.size()) {
        const ssize_t n = ::send(sock.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            error = n < 0 ? std::strerror(errno) : "connection closed while sending";
            return false;
        }
        sent += static_cast<size_t>(n);
    }
    std::string reply;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::recv(sock.fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        reply.append(buffer, static_cast<size_t>(n));
    }
    if (reply.rfind("HTTP/", 0) != 0) {
        error = "no HTTP reply";
        return false;
    }
    return true;
}

} // namespace

std::string masterListText(const std::vector<int> &ports)
{
    std::string text;
    for (const int port : ports)
        text += "127.0.0.1:" + std::to_string(port) + "\r\n";
    text += "END\r\n";
    return text;
}

bool parseHttpUrl(const std::string &url, std::string &host, int &port)
{
    const std::string scheme = "http://";
    if (url.rfind(scheme, 0) != 0)
        return false;
    std::string rest = url.substr(scheme.size());
    rest = rest.substr(0, rest.find('/'));
    const auto colon = rest.rfind(':');
    host = rest.substr(0, colon);
    port = 80;
    if (colon != std::string::npos) {
        const std::string digits = rest.substr(colon + 1);
        if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
            return false;
        port = std::stoi(digits);
    }
    return !host.empty() && port > 0 && port < 65536;
}

int registerServers(const std::string &url, const std::vector<int> &ports, std::string &error,
                    const std::atomic<bool> *stop)
{
    std::string host;
    int port = 0;
    if (!parseHttpUrl(url, host, port)) {
        error = "not an http://host:port address: " + url;
        return static_cast<int>(ports.size());
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0 || !found) {
        error = "cannot resolve " + host;
        return static_cast<int>(ports.size());
    }
    std::unique_ptr<addrinfo, decltype(&::freeaddrinfo)> address(found, &::freeaddrinfo);
    int failures = 0;
    for (const int serverPort : ports) {
        if (stop && *stop)
            return failures;
        const std::string request = "GET /vekta4/vekta4add.php?server=127.0.0.1:" + std::to_string(serverPort) +
                                    " HTTP/1.0\r\nHost: " + host + ":" + std::to_string(port) +
                                    "\r\nUser-Agent: PLX\r\nConnection: close\r\n\r\n";
        std::string why;
        if (!httpGet(*address, request, why)) {
            if (failures++ == 0)
                error = "127.0.0.1:" + std::to_string(serverPort) + ": " + why;
        }
    }
    return failures;
}

} // namespace pelorix::gamesim
