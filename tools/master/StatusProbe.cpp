#include "StatusProbe.h"

#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace pelorix::master
{

namespace
{

constexpr std::size_t kMaxReply = 32 * 1024; // more than any real status reply; past it the probe has failed
constexpr auto kMinute = std::chrono::minutes(1);

} // namespace

struct StatusProber::Probe {
    UniqueFd socket; // closed as soon as the probe can no longer succeed
    std::chrono::steady_clock::time_point deadline;
    std::string client;
    std::string reply;
    Done done;
};

bool statusReplyComplete(const std::string &reply)
{
    return reply.find("\\final\\") != std::string::npos || reply.find("\\eof") != std::string::npos;
}

StatusProber::StatusProber(Limits limits)
    : m_limits(limits)
    , m_clientRate(limits.clientProbesPerMinute, kMinute)
    , m_destinationRate(limits.destinationProbesPerMinute, kMinute)
{
    m_epoll.reset(::epoll_create1(EPOLL_CLOEXEC));
    m_wake.reset(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK));
    if (!m_epoll || !m_wake)
        throw std::runtime_error("cannot set up the status prober");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0; // probe ids start at 1
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, m_wake.get(), &event);
    m_thread = std::thread([this] { loop(); });
}

StatusProber::~StatusProber()
{
    stop();
}

int StatusProber::running()
{
    const std::lock_guard lock(m_mutex);
    return static_cast<int>(m_probes.size());
}

StatusProber::Admission StatusProber::start(const ServerAddress &server, const std::string &client, Done done)
{
    auto probe = std::make_unique<Probe>();
    std::uint64_t id = 0;
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return Admission::Stopping;
        if (static_cast<int>(m_probes.size()) >= m_limits.maxProbes)
            return Admission::Full;
        if (m_perClient[client] >= m_limits.probesPerClient)
            return Admission::ClientBusy;
        if (!m_clientRate.tryRecord(client))
            return Admission::ClientRate;
        if (!m_destinationRate.tryRecord(server.hostText()))
            return Admission::DestinationRate;
        ++m_perClient[client];
        id = m_nextId++;
        probe->deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(m_limits.timeoutMs);
        probe->client = client;
        probe->done = std::move(done);
        m_deadlines.emplace_back(probe->deadline, id);
        m_probes.emplace(id, std::move(probe));
    }

    // A connected socket receives only the server's datagrams. Any failure from here on is reported at the
    // deadline like every other.
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(server.ip);
    peer.sin_port = htons(static_cast<std::uint16_t>(server.port));
    static constexpr char request[] = "\\status\\";
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = id;
    const bool sent =
        socket.get() >= 0 && ::connect(socket.get(), reinterpret_cast<const sockaddr *>(&peer), sizeof peer) == 0 &&
        ::send(socket.get(), request, sizeof request - 1, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof request - 1) &&
        ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, socket.get(), &event) == 0;
    if (sent) {
        const std::lock_guard lock(m_mutex);
        // Gone already only when the prober stopped meanwhile; the socket then closes here.
        if (const auto it = m_probes.find(id); it != m_probes.end())
            it->second->socket = std::move(socket);
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(m_wake.get(), &one, sizeof one);
    return Admission::Started;
}

void StatusProber::finish(std::uint64_t id, Result result)
{
    std::unique_ptr<Probe> probe;
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_probes.find(id);
        if (it == m_probes.end())
            return;
        probe = std::move(it->second);
        m_probes.erase(it);
        if (--m_perClient[probe->client] <= 0)
            m_perClient.erase(probe->client);
    }
    probe->socket.reset(); // closing also takes it out of the epoll set
    probe->done(result);
}

void StatusProber::loop()
{
    std::vector<epoll_event> events(64);
    std::vector<char> buffer(65536);
    for (;;) {
        int waitMs = -1;
        std::vector<std::uint64_t> expired;
        {
            const std::lock_guard lock(m_mutex);
            if (m_stopping)
                break;
            const auto now = std::chrono::steady_clock::now();
            while (!m_deadlines.empty() && m_deadlines.front().first <= now) {
                expired.push_back(m_deadlines.front().second);
                m_deadlines.pop_front();
            }
            if (!m_deadlines.empty()) {
                const auto left = m_deadlines.front().first - now;
                // Round up: waking a little late is fine, waking early would spin.
                waitMs = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
            }
        }
        for (const auto id : expired)
            finish(id, Result::NoAnswer);
        if (!expired.empty())
            continue;

        const int count = ::epoll_wait(m_epoll.get(), events.data(), static_cast<int>(events.size()), waitMs);
        for (int i = 0; i < count; ++i) {
            const std::uint64_t id = events[i].data.u64;
            if (id == 0) {
                std::uint64_t drained = 0;
                [[maybe_unused]] const ssize_t got = ::read(m_wake.get(), &drained, sizeof drained);
                continue;
            }
            bool complete = false;
            {
                const std::lock_guard lock(m_mutex);
                const auto it = m_probes.find(id);
                if (it == m_probes.end() || it->second->socket.get() < 0)
                    continue;
                Probe &probe = *it->second;
                for (;;) {
                    const ssize_t got = ::recv(probe.socket.get(), buffer.data(), buffer.size(), 0);
                    if (got < 0 && errno == EINTR)
                        continue;
                    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                        break;
                    if (got < 0 || probe.reply.size() + static_cast<std::size_t>(got) > kMaxReply) {
                        // Refused port or an endless reply: no answer, reported at the deadline.
                        probe.socket.reset();
                        break;
                    }
                    probe.reply.append(buffer.data(), static_cast<std::size_t>(got));
                    if (statusReplyComplete(probe.reply)) {
                        complete = true;
                        break;
                    }
                }
            }
            if (complete)
                finish(id, Result::Answered);
        }
    }
}

void StatusProber::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping && !m_thread.joinable())
            return;
        m_stopping = true;
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t woken = ::write(m_wake.get(), &one, sizeof one);
    if (m_thread.joinable())
        m_thread.join();
    std::vector<std::uint64_t> ids;
    {
        const std::lock_guard lock(m_mutex);
        for (const auto &[id, probe] : m_probes)
            ids.push_back(id);
        m_deadlines.clear();
    }
    for (const auto id : ids)
        finish(id, Result::Cancelled);
}

} // namespace pelorix::master
