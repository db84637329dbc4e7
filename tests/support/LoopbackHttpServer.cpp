#include "support/LoopbackHttpServer.h"

#include "platform/Loopback.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorix::test
{

namespace
{

using Clock = std::chrono::steady_clock;
constexpr int kStepMs = 20;
constexpr std::size_t kMaxRequestBytes = 1 << 20;

} // namespace

LoopbackHttpServer::LoopbackHttpServer()
{
    m_listen = bindLoopback(SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK);
    m_port = m_listen ? localPort(m_listen.get()) : 0;
    if (m_port == 0 || ::listen(m_listen.get(), 16) != 0)
        std::abort();
    m_defaultReply = lengthReply("");
    m_thread = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer()
{
    m_stop = true;
    m_thread.join();
}

std::string LoopbackHttpServer::hostPort() const
{
    return loopbackHostPort(m_port);
}

std::string LoopbackHttpServer::url(const std::string &path) const
{
    return "http://" + hostPort() + path;
}

void LoopbackHttpServer::addReply(Reply reply)
{
    const std::lock_guard lock(m_mutex);
    m_replies.push_back(std::move(reply));
}

void LoopbackHttpServer::setDefaultReply(Reply reply)
{
    const std::lock_guard lock(m_mutex);
    m_defaultReply = std::move(reply);
}

std::vector<std::string> LoopbackHttpServer::requests() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests;
}

std::size_t LoopbackHttpServer::connectionCount() const
{
    const std::lock_guard lock(m_mutex);
    return m_requests.size();
}

std::vector<std::size_t> LoopbackHttpServer::partsSent() const
{
    const std::lock_guard lock(m_mutex);
    return m_partsSent;
}

bool LoopbackHttpServer::waitForServed(std::size_t n, std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_served.wait_for(lock, timeout, [&] { return m_servedCount >= n; });
}

LoopbackHttpServer::Reply LoopbackHttpServer::lengthReply(const std::string &body, const std::string &extraHeaders,
                                                          const std::string &status)
{
    return rawReply("HTTP/1.1 " + status + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n" +
                    extraHeaders + "\r\n" + body);
}

LoopbackHttpServer::Reply LoopbackHttpServer::chunkedReply(const std::vector<std::string> &chunks,
                                                           const std::string &extraHeaders)
{
    static constexpr char kHex[] = "0123456789abcdef";
    std::string bytes = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n" + extraHeaders + "\r\n";
    for (const auto &chunk : chunks) {
        std::string size;
        for (std::size_t n = chunk.size(); n; n /= 16)
            size.insert(size.begin(), kHex[n % 16]);
        bytes += size + "\r\n" + chunk + "\r\n";
    }
    bytes += "0\r\n\r\n";
    return rawReply(bytes);
}

LoopbackHttpServer::Reply LoopbackHttpServer::untilCloseReply(const std::string &body, const std::string &extraHeaders)
{
    return rawReply("HTTP/1.0 200 OK\r\n" + extraHeaders + "\r\n" + body);
}

LoopbackHttpServer::Reply LoopbackHttpServer::rawReply(const std::string &bytes)
{
    Reply reply;
    reply.parts.push_back(bytes);
    return reply;
}

LoopbackHttpServer::Reply LoopbackHttpServer::endlessReply(const std::string &first, const std::string &repeated,
                                                           std::chrono::milliseconds gap)
{
    Reply reply;
    reply.parts = {first, repeated};
    reply.gap = gap;
    reply.endless = true;
    return reply;
}

void LoopbackHttpServer::run()
{
    while (!m_stop) {
        pollfd p{m_listen.get(), POLLIN, 0};
        if (::poll(&p, 1, kStepMs) <= 0)
            continue;
        UniqueFd connection(::accept4(m_listen.get(), nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
        if (connection.valid())
            serve(std::move(connection));
    }
}

void LoopbackHttpServer::serve(UniqueFd connection)
{
    const int fd = connection.get();
    // The request: everything up to the empty line (a GET has no body).
    std::string request;
    const auto idleEnd = Clock::now() + std::chrono::seconds(5);
    while (!m_stop && request.find("\r\n\r\n") == std::string::npos && request.size() < kMaxRequestBytes &&
           Clock::now() < idleEnd) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, kStepMs) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0 && !(n < 0 && (errno == EAGAIN || errno == EINTR)))
            break;
        if (n > 0)
            request.append(buf, static_cast<std::size_t>(n));
    }
    Reply reply;
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(request);
        if (m_replies.empty()) {
            reply = m_defaultReply;
        } else {
            reply = std::move(m_replies.front());
            m_replies.pop_front();
        }
    }

    bool open = true;
    std::size_t sent = 0;
    for (std::size_t i = 0; open && i < reply.parts.size(); ++i) {
        if (i > 0)
            open = pauseFor(reply.gap, fd);
        open = open && sendAll(fd, reply.parts[i]);
        sent += open ? 1 : 0;
    }
    const auto endlessEnd = Clock::now() + reply.endlessFor;
    while (open && reply.endless && !reply.parts.empty() && !m_stop && Clock::now() < endlessEnd) {
        open = pauseFor(reply.gap, fd) && sendAll(fd, reply.parts.back());
        sent += open ? 1 : 0;
    }
    if (open)
        pauseFor(reply.holdOpen, fd);
    if (reply.reset) {
        const linger hard{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
    }
    connection.reset();
    {
        const std::lock_guard lock(m_mutex);
        m_partsSent.push_back(sent);
        ++m_servedCount;
    }
    m_served.notify_all();
}

bool LoopbackHttpServer::sendAll(int fd, const std::string &data)
{
    std::size_t sent = 0;
    while (sent < data.size()) {
        if (m_stop)
            return false;
        const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, kStepMs);
        } else {
            return false;
        }
    }
    return true;
}

// Waits while watching for the peer to go; false when it went (or the server stops).
bool LoopbackHttpServer::pauseFor(std::chrono::milliseconds ms, int fd)
{
    const auto end = Clock::now() + ms;
    while (!m_stop && Clock::now() < end) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::min<long long>(left + 1, kStepMs))) <= 0)
            continue;
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
            return false;
    }
    return !m_stop;
}

} // namespace pelorix::test
