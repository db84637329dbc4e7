#include "support/UdpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace pelorix::test
{

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// The largest datagram there is, and room to spare.
constexpr size_t kReceiveBytes = 70000;

} // namespace

std::string joined(const std::vector<Datagram> &datagrams)
{
    std::string text;
    for (const auto &d : datagrams)
        text += d.data;
    return text;
}

UdpPeer::UdpPeer(int localPort)
    : m_fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
    // Room for a flood of the largest datagrams, on either side.
    const int receiveBuffer = 8 * 1024 * 1024;
    const int sendBuffer = 4 * 1024 * 1024;
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    ::setsockopt(m_fd.get(), SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
    sockaddr_in address = loopback(localPort);
    socklen_t length = sizeof address;
    if (!m_fd || ::bind(m_fd.get(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
        ::getsockname(m_fd.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ADD_FAILURE() << "UDP socket on 127.0.0.1:" << localPort << ": " << std::strerror(errno);
        m_fd.reset();
        return;
    }
    m_port = ntohs(address.sin_port);
}

bool UdpPeer::send(int toPort, const std::string &payload)
{
    const sockaddr_in to = loopback(toPort);
    m_sentAt = Clock::now();
    const ssize_t sent =
        ::sendto(m_fd.get(), payload.data(), payload.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (sent != static_cast<ssize_t>(payload.size())) {
        ADD_FAILURE() << "sending to 127.0.0.1:" << toPort << ": " << std::strerror(errno);
        return false;
    }
    return true;
}

std::vector<Datagram> UdpPeer::collect(milliseconds window, const std::function<bool(const std::string &)> &done)
{
    std::vector<Datagram> got;
    std::string buffer(kReceiveBytes, '\0');
    for (;;) {
        const auto left = std::chrono::ceil<milliseconds>(m_sentAt + window - Clock::now()).count();
        if (left <= 0)
            break;
        pollfd waiting{m_fd.get(), POLLIN, 0};
        if (::poll(&waiting, 1, static_cast<int>(left)) <= 0)
            continue;
        sockaddr_in from{};
        socklen_t length = sizeof from;
        const ssize_t n =
            ::recvfrom(m_fd.get(), buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &length);
        if (n < 0)
            continue;
        got.push_back(Datagram{buffer.substr(0, static_cast<size_t>(n)), ntohs(from.sin_port),
                               std::chrono::duration_cast<milliseconds>(Clock::now() - m_sentAt)});
        if (done && done(joined(got)))
            break;
    }
    return got;
}

std::string UdpPeer::ask(int toPort, milliseconds window)
{
    if (!send(toPort))
        return {};
    return joined(collect(window, [](const std::string &text) { return text.find("\\eof\\") != std::string::npos; }));
}

UdpServers::UdpServers(size_t count, Script script)
    : m_script(std::move(script))
{
    for (size_t i = 0; i < count; ++i) {
        m_servers.push_back(std::make_unique<UdpPeer>());
        m_addresses.push_back(m_servers.back()->address());
    }
    m_thread = std::thread([this] { serve(); });
}

UdpServers::~UdpServers()
{
    m_stop = true;
    m_thread.join();
}

void UdpServers::setScript(Script script)
{
    std::lock_guard lock(m_mutex);
    m_script = std::move(script);
}

std::vector<std::string> UdpServers::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void UdpServers::serve()
{
    struct Pending {
        int fd;
        sockaddr_in to;
        std::string payload;
    };
    // Due time first; datagrams due at the same time go in the order the script gave them.
    std::multimap<Clock::time_point, Pending> pending;
    std::vector<pollfd> polls;
    for (const auto &server : m_servers)
        polls.push_back({server->fd(), POLLIN, 0});
    std::string buffer(kReceiveBytes, '\0');
    while (!m_stop) {
        // Wakes for the next datagram due, and often enough to notice the stop.
        milliseconds wait(20);
        if (!pending.empty())
            wait = std::clamp(std::chrono::ceil<milliseconds>(pending.begin()->first - Clock::now()), milliseconds(0),
                              wait);
        ::poll(polls.data(), polls.size(), static_cast<int>(wait.count()));
        const auto now = Clock::now();
        for (size_t i = 0; i < polls.size(); ++i) {
            if (!(polls[i].revents & POLLIN))
                continue;
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n =
                ::recvfrom(polls[i].fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0)
                continue;
            const std::string request = buffer.substr(0, static_cast<size_t>(n));
            Script script;
            {
                std::lock_guard lock(m_mutex);
                m_requests.push_back(request);
                script = m_script;
            }
            if (!script)
                continue;
            for (auto &send : script(i, request)) {
                const int fd = send.fromOtherSocket ? m_other.fd() : polls[i].fd;
                pending.emplace(now + milliseconds(send.atMs), Pending{fd, from, std::move(send.payload)});
            }
        }
        for (auto it = pending.begin(); it != pending.end() && it->first <= Clock::now(); it = pending.erase(it))
            ::sendto(it->second.fd, it->second.payload.data(), it->second.payload.size(), 0,
                     reinterpret_cast<const sockaddr *>(&it->second.to), sizeof it->second.to);
    }
}

} // namespace pelorix::test
