#include "Simulator.h"

#include "Names.h"
#include "Registration.h"
#include "Reply.h"
#include "platform/AtomicFile.h"
#include "platform/Loopback.h"
#include "platform/UniqueFd.h"

#include <arpa/inet.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <thread>

namespace pelorix::gamesim
{

namespace
{

constexpr uint64_t kTimerTag = ~uint64_t{0};
constexpr uint64_t kSignalTag = kTimerTag - 1;
constexpr uint64_t kRegisteredTag = kTimerTag - 2;
constexpr int64_t kMs = 1000000;
// Queries read from one socket per wake-up, so that one busy server cannot starve the others.
constexpr int kReadsPerWake = 64;

int64_t monotonicNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

int64_t realtimeNs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec;
}

// When a datagram reached the socket, on the monotonic clock: the kernel's receive stamp (wall clock) moved by
// the time since, so that a loop busy with other servers does not make an answer later than its delay.
int64_t arrivalNs(msghdr &message)
{
    const int64_t now = monotonicNs();
    for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
        if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_TIMESTAMPNS) {
            timespec ts{};
            std::memcpy(&ts, CMSG_DATA(c), sizeof ts);
            const int64_t age = realtimeNs() - (int64_t{ts.tv_sec} * 1000000000 + ts.tv_nsec);
            // A wall clock stepped meanwhile gives a nonsense age: then the arrival is now.
            return age >= 0 && age < 1000000000 ? now - age : now;
        }
    }
    return now;
}

// A receive into one buffer, with the sender's address and room for control messages.
msghdr messageInto(sockaddr_in &address, iovec &buffer, char *control, size_t controlSize)
{
    msghdr message{};
    message.msg_name = &address;
    message.msg_namelen = sizeof address;
    message.msg_iov = &buffer;
    message.msg_iovlen = 1;
    message.msg_control = control;
    message.msg_controllen = controlSize;
    return message;
}

bool sameClient(const sockaddr_in &a, const sockaddr_in &b)
{
    return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
}

// A non-blocking UDP socket bound to host:port; invalid, with errno set, on failure.
UniqueFd boundUdpSocket(const sockaddr_in &host, int port)
{
    sockaddr_in address = host;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    UniqueFd socket(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    if (socket && ::bind(socket.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0) {
        const int saved = errno;
        socket.reset();
        errno = saved;
    }
    return socket;
}

} // namespace

void LatenessStats::add(int64_t lateNs)
{
    const int64_t us = std::max<int64_t>(0, lateNs / 1000);
    ++m_histogram[static_cast<size_t>(std::min(us, kBuckets))];
    ++m_count;
    m_maxUs = std::max(m_maxUs, us);
}

int64_t LatenessStats::quantileUs(double q) const
{
    if (m_count == 0)
        return 0;
    const auto rank = static_cast<uint64_t>(q * static_cast<double>(m_count - 1)) + 1;
    uint64_t seen = 0;
    for (size_t i = 0; i < m_histogram.size(); ++i) {
        seen += m_histogram[i];
        if (seen >= rank)
            return static_cast<int64_t>(i);
    }
    return kBuckets;
}

struct Simulator::Job {
    enum class Kind { Send, Stream, Leave, Join, Event };
    Kind kind = Kind::Send;
    size_t server = 0;
    sockaddr_in client{};
    std::vector<std::string> datagrams; // Send: the datagrams in order; Stream (flood): the one datagram
    std::vector<int> fds;               // Send: the socket each datagram leaves from
    size_t next = 0;
    int64_t gapNs = 0;
    int64_t endNs = 0;
    long sent = 0;
    bool active = true;
    PlayerEvent event;
};

struct Simulator::Server {
    ServerConfig config;
    UniqueFd fd;
    UniqueFd secondFd;
    UniqueFd closedFd;                         // a closed server's port, held so that nothing else binds it
    std::vector<std::shared_ptr<Job>> streams; // trickles and floods running now
};

Simulator::Simulator(Scenario scenario)
    : m_scenario(std::move(scenario))
    , m_rng(m_scenario.seed)
{
    m_servers.resize(m_scenario.servers.size());
    for (size_t i = 0; i < m_servers.size(); ++i)
        m_servers[i].config = m_scenario.servers[i];
}

Simulator::~Simulator() = default;

bool Simulator::setBindAddress(const std::string &host)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    if (::inet_pton(AF_INET, host.c_str(), &address.sin_addr) != 1)
        return false;
    m_bindAddress = address;
    m_bindHost = host;
    return true;
}

std::string Simulator::hostPort(int port) const
{
    return m_bindHost + ":" + std::to_string(port);
}

bool Simulator::bindAll(std::string &error)
{
    m_epoll.reset(::epoll_create1(EPOLL_CLOEXEC));
    m_timer.reset(::timerfd_create(CLOCK_MONOTONIC, TFD_NONBLOCK | TFD_CLOEXEC));
    if (!m_epoll || !m_timer) {
        error = std::string("epoll/timerfd: ") + std::strerror(errno);
        return false;
    }
    epoll_event timerEvent{};
    timerEvent.events = EPOLLIN;
    timerEvent.data.u64 = kTimerTag;
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, m_timer.get(), &timerEvent);

    m_ports.clear();
    for (size_t i = 0; i < m_servers.size(); ++i) {
        auto &server = m_servers[i];
        UniqueFd fd = boundUdpSocket(m_bindAddress, server.config.port);
        if (!fd) {
            error = "cannot bind " + hostPort(server.config.port) + ": " + std::strerror(errno);
            return false;
        }
        const int port = localPort(fd.get());
        server.config.port = port;
        m_ports.push_back(port);
        if (server.config.behaviour == Behaviour::Closed) {
            // Connected to itself, the socket takes no query, so the client's system reports the port unreachable;
            // and as long as it exists no other socket, of this process or another, is given the port.
            server.closedFd = std::move(fd);
            sockaddr_in self = m_bindAddress;
            self.sin_port = htons(static_cast<std::uint16_t>(port));
            if (::connect(server.closedFd.get(), reinterpret_cast<const sockaddr *>(&self), sizeof self) != 0) {
                error = "cannot close " + hostPort(port) + ": " + std::strerror(errno);
                return false;
            }
            continue;
        }
        server.fd = std::move(fd);
        // Port-unreachable reports tell when a client's port is gone, which ends its trickle or flood.
        const int on = 1;
        ::setsockopt(server.fd.get(), IPPROTO_IP, IP_RECVERR, &on, sizeof on);
        ::setsockopt(server.fd.get(), SOL_SOCKET, SO_TIMESTAMPNS, &on, sizeof on);
        if (server.config.behaviour == Behaviour::Flood) {
            const int buffer = 4 * 1024 * 1024;
            ::setsockopt(server.fd.get(), SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        }
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = i;
        if (::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, server.fd.get(), &event) != 0) {
            error = std::string("epoll_ctl: ") + std::strerror(errno);
            return false;
        }
        if (server.config.behaviour == Behaviour::SecondSender) {
            server.secondFd = boundUdpSocket(m_bindAddress, 0);
            if (!server.secondFd) {
                error = std::string("second sender socket: ") + std::strerror(errno);
                return false;
            }
        }
    }
    return true;
}

// Orders the heap so that its front is the earliest send, ties in the order they were scheduled.
bool Simulator::laterFirst(const Timer &a, const Timer &b)
{
    return a.due != b.due ? a.due > b.due : a.seq > b.seq;
}

void Simulator::schedule(int64_t due, std::shared_ptr<Job> job)
{
    m_heap.push_back(Timer{due, m_seq++, std::move(job)});
    std::push_heap(m_heap.begin(), m_heap.end(), laterFirst);
}

void Simulator::armTimer()
{
    const int64_t due = m_heap.empty() ? 0 : m_heap.front().due;
    if (due == m_armedFor)
        return;
    itimerspec when{};
    if (due > 0) {
        when.it_value.tv_sec = due / 1000000000;
        when.it_value.tv_nsec = due % 1000000000;
    }
    ::timerfd_settime(m_timer.get(), TFD_TIMER_ABSTIME, &when, nullptr);
    m_armedFor = due;
}

bool Simulator::sendTo(int fd, const std::string &datagram, const sockaddr_in &client)
{
    const ssize_t n = ::sendto(fd, datagram.data(), datagram.size(), MSG_DONTWAIT,
                               reinterpret_cast<const sockaddr *>(&client), sizeof client);
    return n >= 0 || errno == EAGAIN || errno == EWOULDBLOCK || errno == ENOBUFS;
}

void Simulator::readQueries(size_t index)
{
    auto &server = m_servers[index];
    char buffer[65536];
    for (int i = 0; i < kReadsPerWake; ++i) {
        sockaddr_in from{};
        alignas(cmsghdr) char control[128];
        iovec iov{buffer, sizeof buffer};
        msghdr message = messageInto(from, iov, control, sizeof control);
        const ssize_t n = ::recvmsg(server.fd.get(), &message, MSG_DONTWAIT);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return;
            continue; // a pending port-unreachable report; the error queue says for whom
        }
        if (n == 8 && std::memcmp(buffer, "\\status\\", 8) == 0)
            onQuery(index, from, arrivalNs(message));
    }
}

void Simulator::readErrors(size_t index)
{
    auto &server = m_servers[index];
    for (int i = 0; i < kReadsPerWake; ++i) {
        sockaddr_in offender{};
        alignas(cmsghdr) char control[512];
        char payload[64];
        iovec iov{payload, sizeof payload};
        msghdr message = messageInto(offender, iov, control, sizeof control);
        if (::recvmsg(server.fd.get(), &message, MSG_ERRQUEUE | MSG_DONTWAIT) < 0)
            return;
        // msg_name holds the destination of the datagram that was refused: that client's port is gone.
        stopStreams(index, offender);
    }
}

void Simulator::stopStreams(size_t index, const sockaddr_in &client)
{
    auto &streams = m_servers[index].streams;
    for (auto &job : streams) {
        if (sameClient(job->client, client))
            job->active = false;
    }
    std::erase_if(streams, [](const auto &job) { return !job->active; });
}

void Simulator::onQuery(size_t index, const sockaddr_in &client, int64_t now)
{
    ++m_queries;
    auto &server = m_servers[index];
    const auto &config = server.config;
    if (config.behaviour == Behaviour::Silent)
        return;
    int64_t delayMs = config.delayMs;
    if (config.jitterMs > 0)
        delayMs = std::max<int64_t>(
            0, delayMs + std::uniform_int_distribution<int>(-config.jitterMs, config.jitterMs)(m_rng));
    const int64_t due = now + delayMs * kMs;

    auto job = std::make_shared<Job>();
    job->server = index;
    job->client = client;
    job->gapNs = int64_t{config.effectiveGapMs()} * kMs;
    switch (config.behaviour) {
    case Behaviour::Trickle:
    case Behaviour::Flood: {
        for (const auto &running : server.streams) {
            if (sameClient(running->client, client))
                return; // one stream per client port is enough
        }
        job->kind = Job::Kind::Stream;
        job->gapNs = std::max<int64_t>(job->gapNs, kMs);
        const bool flood = config.behaviour == Behaviour::Flood;
        job->endNs = due + int64_t{flood ? config.floodMs : config.trickleMaxMs} * kMs;
        if (flood)
            job->datagrams.push_back(paddedReply(config, kFloodDatagram));
        server.streams.push_back(job);
        schedule(due, std::move(job));
        return;
    }
    case Behaviour::SecondSender:
        job->datagrams = splitAtMiddlePair(statusReply(config));
        job->fds = {server.fd.get(), server.secondFd.get()};
        break;
    case Behaviour::Garbage:
        job->datagrams = {garbageDatagram(m_rng)};
        break;
    case Behaviour::Oversized:
        job->datagrams = {paddedReply(config, kMaxDatagram)};
        break;
    default:
        job->datagrams = splitEvenly(
            statusReply(config, config.behaviour != Behaviour::NoFinal, config.behaviour != Behaviour::NoEof),
            config.split);
        break;
    }
    job->fds.resize(job->datagrams.size(), server.fd.get());
    schedule(due, std::move(job));
}

void Simulator::fire(const std::shared_ptr<Job> &job, int64_t due, int64_t now)
{
    auto &server = m_servers[job->server];
    auto &players = server.config.players;
    switch (job->kind) {
    case Job::Kind::Send:
        sendTo(job->fds[job->next], job->datagrams[job->next], job->client);
        m_stats.add(now - due);
        if (++job->next < job->datagrams.size())
            schedule(due + job->gapNs, job);
        return;
    case Job::Kind::Stream: {
        if (!job->active || now >= job->endNs) {
            job->active = false;
            std::erase_if(server.streams, [](const auto &stream) { return !stream->active; });
            return;
        }
        m_stats.add(now - due);
        const bool flood = server.config.behaviour == Behaviour::Flood;
        const int count = flood ? server.config.floodBurst : 1;
        for (int i = 0; i < count && job->active; ++i) {
            const std::string datagram = flood ? job->datagrams.front() : trickleDatagram(server.config, job->sent);
            if (!sendTo(server.fd.get(), datagram, job->client))
                stopStreams(job->server, job->client);
            ++job->sent;
        }
        // A stream that fell behind starts again from now rather than catching up in a burst.
        schedule(std::max(due + job->gapNs, now), job);
        return;
    }
    case Job::Kind::Leave:
        if (!players.empty())
            players.erase(players.begin() +
                          std::uniform_int_distribution<std::ptrdiff_t>(0, std::ssize(players) - 1)(m_rng));
        schedule(due + job->gapNs, job);
        return;
    case Job::Kind::Join:
        if (std::ssize(players) < server.config.maxplayers)
            players.push_back(Player{randomNick(m_rng), 0, std::uniform_int_distribution<int>(20, 180)(m_rng)});
        schedule(due + job->gapNs, job);
        return;
    case Job::Kind::Event:
        if (job->event.join) {
            players.push_back(job->event.player);
        } else if (job->event.player.name.empty()) {
            if (!players.empty())
                players.pop_back();
        } else {
            const auto it = std::find_if(players.begin(), players.end(),
                                         [&](const Player &p) { return p.name == job->event.player.name; });
            if (it != players.end())
                players.erase(it);
        }
        return;
    }
}

void Simulator::scheduleChurn(int64_t start)
{
    for (size_t i = 0; i < m_servers.size(); ++i) {
        const auto &config = m_servers[i].config;
        const auto add = [&](Job::Kind kind, int everyMs) {
            if (everyMs <= 0)
                return;
            auto job = std::make_shared<Job>();
            job->kind = kind;
            job->server = i;
            job->gapNs = int64_t{everyMs} * kMs;
            schedule(start + int64_t{everyMs} * kMs, std::move(job));
        };
        add(Job::Kind::Leave, config.leaveEveryMs);
        add(Job::Kind::Join, config.joinEveryMs);
        for (const auto &event : config.events) {
            auto job = std::make_shared<Job>();
            job->kind = Job::Kind::Event;
            job->server = i;
            job->event = event;
            schedule(start + int64_t{event.atMs} * kMs, std::move(job));
        }
    }
}

void Simulator::printStats() const
{
    std::fprintf(stderr,
                 "STATS queries=%llu sends=%llu lateness_us_p50=%lld lateness_us_p99=%lld lateness_us_max=%lld\n",
                 static_cast<unsigned long long>(m_queries), static_cast<unsigned long long>(m_stats.count()),
                 static_cast<long long>(m_stats.quantileUs(0.5)), static_cast<long long>(m_stats.quantileUs(0.99)),
                 static_cast<long long>(m_stats.maxUs()));
    std::fflush(stderr);
}

int Simulator::run(const RunOptions &options)
{
    // Timers here are single replies a millisecond apart; the default 50 us slack is not wanted.
    ::prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);

    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGUSR1);
    const UniqueFd signalFd(::signalfd(-1, &signals, SFD_NONBLOCK | SFD_CLOEXEC));
    epoll_event signalEvent{};
    signalEvent.events = EPOLLIN;
    signalEvent.data.u64 = kSignalTag;
    ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, signalFd.get(), &signalEvent);

    if (!options.portFile.empty()) {
        std::string text;
        for (const int port : m_ports)
            text += hostPort(port) + "\n";
        if (!writeFileAtomically(options.portFile, text))
            std::fprintf(stderr, "pelorix-gamesim: cannot write %s\n", options.portFile.c_str());
    }
    if (!options.masterListFile.empty() &&
        !writeFileAtomically(options.masterListFile, masterListText(m_ports, m_bindHost)))
        std::fprintf(stderr, "pelorix-gamesim: cannot write %s\n", options.masterListFile.c_str());

    auto announceReady = [this] {
        std::printf("READY %zu\n", m_servers.size());
        std::fflush(stdout);
    };
    // The master may query a server while it registers it, so the loop answers while the registration runs.
    std::atomic<bool> stopRegistering{false};
    // Declared before the thread that writes to it, so it outlives the thread on every path.
    const UniqueFd registeredFd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC));
    std::thread registration;
    if (!options.registerUrl.empty()) {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = kRegisteredTag;
        ::epoll_ctl(m_epoll.get(), EPOLL_CTL_ADD, registeredFd.get(), &event);
        registration = std::thread(
            [url = options.registerUrl, ports = m_ports, host = m_bindHost, fd = registeredFd.get(), &stopRegistering] {
                std::string error;
                const int failures = registerServers(url, ports, error, &stopRegistering, host);
                if (failures > 0)
                    std::fprintf(stderr, "pelorix-gamesim: %d of %zu registrations with %s failed (first: %s)\n",
                                 failures, ports.size(), url.c_str(), error.c_str());
                const uint64_t one = 1;
                [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
            });
    } else {
        announceReady();
    }

    const int64_t start = monotonicNs();
    const int64_t stopAt = options.runForMs > 0 ? start + int64_t{options.runForMs} * kMs : 0;
    scheduleChurn(start);
    std::vector<epoll_event> events(256);
    // Sends that are due go out before the queries of the same wake-up are read, so a burst of queries does not
    // make them late. Only those due on entry, though: a flood whose bursts take longer than its gap is due again at
    // once, and would keep the loop from ever reading another query, or the report that ends the flood.
    const auto fireDue = [this] {
        const int64_t now = monotonicNs();
        while (!m_heap.empty() && m_heap.front().due <= now) {
            std::pop_heap(m_heap.begin(), m_heap.end(), laterFirst);
            Timer timer = std::move(m_heap.back());
            m_heap.pop_back();
            fire(timer.job, timer.due, monotonicNs());
        }
    };
    bool running = true;
    while (running) {
        armTimer();
        int timeoutMs = -1;
        if (stopAt != 0)
            timeoutMs = static_cast<int>(std::max<int64_t>(0, (stopAt - monotonicNs()) / kMs + 1));
        const int count = ::epoll_wait(m_epoll.get(), events.data(), static_cast<int>(events.size()), timeoutMs);
        if (count < 0 && errno != EINTR) {
            std::perror("pelorix-gamesim: epoll_wait");
            break;
        }
        fireDue();
        for (int i = 0; i < count; ++i) {
            const uint64_t tag = events[static_cast<size_t>(i)].data.u64;
            if (tag == kTimerTag) {
                uint64_t expirations = 0;
                [[maybe_unused]] const auto got = ::read(m_timer.get(), &expirations, sizeof expirations);
                m_armedFor = -1;
            } else if (tag == kSignalTag) {
                signalfd_siginfo info{};
                while (::read(signalFd.get(), &info, sizeof info) == sizeof info) {
                    if (info.ssi_signo == SIGUSR1)
                        printStats();
                    else
                        running = false;
                }
            } else if (tag == kRegisteredTag) {
                uint64_t value = 0;
                [[maybe_unused]] const auto got = ::read(registeredFd.get(), &value, sizeof value);
                announceReady();
            } else {
                if (events[static_cast<size_t>(i)].events & EPOLLERR)
                    readErrors(tag);
                if (events[static_cast<size_t>(i)].events & EPOLLIN)
                    readQueries(tag);
            }
        }
        fireDue();
        if (stopAt != 0 && monotonicNs() >= stopAt)
            running = false;
    }
    stopRegistering = true;
    if (registration.joinable())
        registration.join();
    if (options.statsAtExit)
        printStats();
    return 0;
}

} // namespace pelorix::gamesim
