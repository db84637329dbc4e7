// pelorix-master under hostile clients, on loopback: how long a normal list request takes while 2,000
// connections trickle their request heads a byte a second, and the service's peak resident memory through
// every hostile scenario (idle and trickling connections, 200 MB request line and header, 2,000-range
// requests, 16 downloads of a 50 MB installer at once, a password-guessing run).
// Targets: a normal request under 100 ms during the slow connections; peak RSS under 64 MiB.
//   master_hostile_bench [servers=10000]
#include "discovery/RequestSignature.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;

sockaddr_in address(const std::string &host, int port)
{
    sockaddr_in result{};
    result.sin_family = AF_INET;
    ::inet_pton(AF_INET, host.c_str(), &result.sin_addr);
    result.sin_port = htons(static_cast<uint16_t>(port));
    return result;
}

int connectFrom(int port, const std::string &source = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_in from = address(source, 0);
    const sockaddr_in to = address("127.0.0.1", port);
    if (fd < 0 || ::bind(fd, reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in bound = address("127.0.0.1", 0);
    socklen_t length = sizeof bound;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&bound), sizeof bound) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &length) == 0)
        port = ntohs(bound.sin_port);
    ::close(fd);
    return port;
}

pid_t start(const std::vector<std::string> &args, const std::string &errPath)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> store = args;
    std::vector<char *> argv;
    for (auto &arg : store)
        argv.push_back(arg.data());
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return failed ? -1 : pid;
}

int finish(pid_t pid)
{
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Sends a request and reads to the end; the number of body bytes, -1 on failure.
long exchange(int port, const std::string &request, const std::string &source = "127.0.0.1")
{
    const int fd = connectFrom(port, source);
    if (fd < 0)
        return -1;
    ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
    std::string data;
    char buffer[65536];
    for (;;) {
        pollfd waiting{fd, POLLIN, 0};
        if (::poll(&waiting, 1, 30000) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        data.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    const auto split = data.find("\r\n\r\n");
    if (data.compare(0, 7, "HTTP/1.") != 0 || split == std::string::npos)
        return -1;
    return static_cast<long>(data.size() - split - 4);
}

std::string listRequest(int number, const std::string &extra = {})
{
    return "GET /vekta4list.php?s=" + std::to_string(number) +
           " HTTP/1.0\r\nUser-Agent: " + pelorix::SignatureFor(number) + "\r\n" + extra + "\r\n";
}

long peakRssKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    }
    return -1;
}

struct Latency {
    std::vector<double> ms;
    void add(Clock::duration d) { ms.push_back(std::chrono::duration<double, std::milli>(d).count()); }
    double at(double fraction)
    {
        if (ms.empty())
            return -1;
        std::sort(ms.begin(), ms.end());
        return ms[std::min(ms.size() - 1, static_cast<std::size_t>(fraction * static_cast<double>(ms.size())))];
    }
};

// Normal list requests, one after the other, for the given time; their latencies.
Latency normalRequests(int port, std::chrono::milliseconds duration, long expectedBytes, int &failures)
{
    Latency latency;
    const auto end = Clock::now() + duration;
    while (Clock::now() < end) {
        const auto begin = Clock::now();
        const long bytes = exchange(port, listRequest(99));
        latency.add(Clock::now() - begin);
        failures += bytes == expectedBytes ? 0 : 1;
    }
    return latency;
}

std::vector<int> openMany(int port, int count, int thirdOctet, const std::string &opening)
{
    std::vector<int> fds;
    for (int i = 0; i < count; ++i) {
        const int fd = connectFrom(port, "127.0." + std::to_string(thirdOctet) + "." + std::to_string(i / 20 + 1));
        if (fd < 0)
            break;
        if (!opening.empty())
            ::send(fd, opening.data(), opening.size(), MSG_NOSIGNAL);
        fds.push_back(fd);
    }
    return fds;
}

void closeAll(std::vector<int> &fds)
{
    for (const int fd : fds)
        ::close(fd);
    fds.clear();
}

// Sends a prefix and endless filler without a line break until the service stops taking it; bytes taken.
std::size_t endless(int port, const std::string &prefix)
{
    const int fd = connectFrom(port);
    if (fd < 0)
        return 0;
    std::size_t sent = 0;
    const std::string chunk(1 << 16, 'a');
    ::send(fd, prefix.data(), prefix.size(), MSG_NOSIGNAL);
    const auto giveUp = Clock::now() + std::chrono::seconds(30);
    while (sent < (200u << 20) && Clock::now() < giveUp) {
        pollfd waiting{fd, POLLIN | POLLOUT, 0};
        if (::poll(&waiting, 1, 1000) <= 0)
            continue;
        if ((waiting.revents & (POLLIN | POLLERR | POLLHUP)) != 0)
            break;
        const ssize_t put = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            break;
        if (put > 0)
            sent += static_cast<std::size_t>(put);
    }
    ::close(fd);
    return sent;
}

} // namespace

int main(int argc, char **argv)
{
    const std::string master = PELORIX_MASTER_BIN;
    if (master.empty()) {
        std::fprintf(stderr, "needs pelorix-master\n");
        return 1;
    }
    const int servers = argc > 1 ? std::atoi(argv[1]) : 10000;
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);

    std::string folder = (std::filesystem::temp_directory_path() / "pelorix-master-hostile-XXXXXX").string();
    if (!::mkdtemp(folder.data()))
        return 1;
    folder += '/';
    const std::string db = folder + "master.db";
    {
        std::ofstream list(folder + "servers.txt");
        for (int i = 0; i < servers; ++i)
            list << "1." << (i >> 16 & 0xFF) << '.' << (i >> 8 & 0xFF) << '.' << (i & 0xFF) << ":10481\r\n";
        std::ofstream installer(folder + "install.exe", std::ios::binary);
        const std::string block(1 << 20, '\x5a');
        for (int i = 0; i < 50; ++i)
            installer << block;
    }
    if (finish(start({master, "import", folder + "servers.txt", "--db", db}, folder + "import.err")) != 0 ||
        finish(start({master, "set-password", "right", "--db", db}, folder + "password.err")) != 0) {
        std::fprintf(stderr, "setting up the database failed\n");
        return 1;
    }
    const int port = freePort();
    const pid_t service = start({master, "serve", "--db", db, "--port", std::to_string(port), "--installer",
                                 folder + "install.exe", "--no-access-log"},
                                folder + "serve.log");
    for (int i = 0; i < 500 && exchange(port, listRequest(1)) < 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const long listBytes = exchange(port, listRequest(1));
    if (listBytes <= 0) {
        std::fprintf(stderr, "the service did not start\n");
        return 1;
    }
    std::printf("pelorix-master under hostile clients: %d servers (%ld-byte list), Release build\n", servers,
                listBytes);
    std::printf("  at rest: peak RSS %ld KiB\n", peakRssKiB(service));

    int failures = 0;
    Latency quiet = normalRequests(port, std::chrono::seconds(2), listBytes, failures);
    std::printf("  normal list request, nothing else going on: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", quiet.at(0.5),
                quiet.at(0.99), quiet.at(1.0));

    // 2,000 connections that send a request head a byte a second, 20 from each loopback address.
    std::vector<int> slow = openMany(port, 2000, 1, "G");
    std::atomic<bool> trickling{true};
    std::thread trickle([&] {
        while (trickling) {
            for (const int fd : slow)
                ::send(fd, "E", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int i = 0; i < 10 && trickling; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    });
    Latency during = normalRequests(port, std::chrono::seconds(6), listBytes, failures);
    trickling = false;
    trickle.join();
    std::printf("  during %zu slow connections: p50 %.2f ms, p99 %.2f ms, max %.2f ms (target: under 100 ms)\n",
                slow.size(), during.at(0.5), during.at(0.99), during.at(1.0));
    closeAll(slow);

    std::vector<int> idle = openMany(port, 2000, 2, "");
    std::printf("  2,000 idle connections held: peak RSS %ld KiB\n", peakRssKiB(service));
    closeAll(idle);

    std::printf("  200 MB request line: the service took %zu bytes before it answered\n", endless(port, "GET /"));
    std::printf("  200 MB header: the service took %zu bytes before it answered\n",
                endless(port, "GET /vekta4list.php?s=0 HTTP/1.0\r\nX-Endless: "));

    std::string ranges = "Range: bytes=";
    for (int i = 0; i < 2000; ++i) {
        const char digit = static_cast<char>('0' + i % 10);
        if (i > 0)
            ranges += ',';
        ranges += {digit, '-', digit};
    }
    long rangeBytes = 0;
    for (int i = 0; i < 20; ++i)
        rangeBytes = std::max(rangeBytes, exchange(port, listRequest(5, ranges + "\r\n")));
    std::printf("  2,000-range requests: %ld-byte replies\n", rangeBytes);

    std::vector<std::thread> downloads;
    std::atomic<int> complete{0};
    for (int i = 0; i < 16; ++i) {
        downloads.emplace_back([&, i] {
            const long bytes = exchange(port, "GET /download/vekta4/PELORIX_install.exe HTTP/1.0\r\n\r\n",
                                        "127.0.3." + std::to_string(i + 1));
            complete += bytes == 50L << 20 ? 1 : 0;
        });
    }
    for (auto &download : downloads)
        download.join();
    std::printf("  16 downloads of the 50 MB installer at once: %d complete\n", complete.load());

    // Guesses from 200 prefixes while lists are fetched: lists keep their pace.
    std::atomic<bool> guessing{true};
    std::thread guesser([&] {
        for (int i = 0; guessing; ++i) {
            exchange(port,
                     "GET /vekta4/vekta4delete.php?pwd=guess&server=1.0.0.1:10481&s=3 HTTP/1.0\r\nUser-Agent: " +
                         pelorix::SignatureFor(3) + "\r\n\r\n",
                     "127.1." + std::to_string(i % 200) + ".1");
        }
    });
    Latency guessed = normalRequests(port, std::chrono::seconds(4), listBytes, failures);
    guessing = false;
    guesser.join();
    std::printf("  during a password-guessing run: p50 %.2f ms, p99 %.2f ms, max %.2f ms\n", guessed.at(0.5),
                guessed.at(0.99), guessed.at(1.0));

    const long peak = peakRssKiB(service);
    std::printf("  peak RSS through all of the above: %ld KiB = %.1f MiB (target: under 64 MiB)\n", peak,
                static_cast<double>(peak) / 1024.0);
    std::printf("  normal requests that failed: %d\n", failures);
    ::kill(service, SIGTERM);
    const int status = finish(service);
    std::error_code ignored;
    std::filesystem::remove_all(folder, ignored);
    return failures == 0 && status == 0 ? 0 : 1;
}
