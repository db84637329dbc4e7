// Reply lateness and CPU cost of pelorix-gamesim: 10,000 servers with a 20 ms answer delay, 100 queries kept
// in flight by one client. Lateness = receive time - send time - configured delay.
// usage: gamesim_bench [SECONDS (default 10)] [SERVERS (default 10000)] [IN_FLIGHT (default 100)]
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

extern char **environ;

namespace
{

using Clock = std::chrono::steady_clock;
constexpr int kDelayMs = 20;

std::string readFile(const std::string &path)
{
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// utime + stime of a process, in seconds.
double cpuSeconds(pid_t pid)
{
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const auto close = stat.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(close + 2));
    std::string field;
    unsigned long long utime = 0;
    unsigned long long stime = 0;
    // Fields after the name start at 3 (state); utime is 14, stime 15.
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::stoull(field);
        if (i == 15)
            stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

double percentile(std::vector<double> &values, double q)
{
    if (values.empty())
        return 0;
    const auto at = static_cast<size_t>(q * static_cast<double>(values.size() - 1));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(at), values.end());
    return values[at];
}

int measure(int seconds, int servers, int inFlight)
{
    std::string dir = (std::filesystem::temp_directory_path() / "gamesim-bench-XXXXXX").string();
    if (!::mkdtemp(dir.data()))
        return 1;
    const std::string portFile = dir + "/ports";
    const std::string errFile = dir + "/stderr";
    const std::string outFile = dir + "/stdout";

    std::vector<std::string> args = {
        PELORIX_GAMESIM_BIN, "--generate", std::to_string(servers), "--delay", std::to_string(kDelayMs),
        "--base-port",       "0",          "--port-file",           portFile,  "--stats"};
    std::vector<char *> argvStore;
    for (auto &a : args)
        argvStore.push_back(a.data());
    argvStore.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const auto startedAt = Clock::now();
    if (posix_spawn(&pid, PELORIX_GAMESIM_BIN, &actions, nullptr, argvStore.data(), environ) != 0) {
        std::perror("posix_spawn");
        return 1;
    }
    posix_spawn_file_actions_destroy(&actions);

    while (readFile(outFile).find("READY") == std::string::npos) {
        if (Clock::now() - startedAt > std::chrono::seconds(120) || ::waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "gamesim_bench: simulator did not get ready: %s\n", readFile(errFile).c_str());
            ::kill(pid, SIGKILL);
            return 1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    const double startupMs = std::chrono::duration<double, std::milli>(Clock::now() - startedAt).count();
    std::vector<int> ports;
    {
        std::istringstream lines(readFile(portFile));
        std::string line;
        while (std::getline(lines, line))
            ports.push_back(std::stoi(line.substr(line.find(':') + 1)));
    }

    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0);
    const int buffer = 4 * 1024 * 1024;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&self), sizeof self);

    std::mt19937 rng(7);
    std::unordered_map<int, Clock::time_point> pending; // server port -> send time
    auto sendOne = [&] {
        int port = 0;
        do {
            port = ports[std::uniform_int_distribution<size_t>(0, ports.size() - 1)(rng)];
        } while (pending.count(port));
        sockaddr_in to = self;
        to.sin_port = htons(static_cast<uint16_t>(port));
        pending[port] = Clock::now();
        ::sendto(fd, "\\status\\", 8, 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    };

    std::vector<double> lateness;
    long lost = 0;
    const auto warmUpEnd = Clock::now() + std::chrono::seconds(1);
    const auto end = warmUpEnd + std::chrono::seconds(seconds);
    double cpuAtStart = 0;
    bool measuring = false;
    Clock::time_point measureStart;
    for (int i = 0; i < inFlight; ++i)
        sendOne();
    std::vector<char> datagram(70000);
    while (Clock::now() < end) {
        if (!measuring && Clock::now() >= warmUpEnd) {
            measuring = true;
            measureStart = Clock::now();
            cpuAtStart = cpuSeconds(pid);
        }
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, 5);
        for (;;) {
            sockaddr_in from{};
            socklen_t length = sizeof from;
            const ssize_t n =
                ::recvfrom(fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr *>(&from), &length);
            if (n < 0)
                break;
            const auto now = Clock::now();
            const auto it = pending.find(ntohs(from.sin_port));
            if (it == pending.end())
                continue;
            if (measuring)
                lateness.push_back(std::chrono::duration<double, std::micro>(now - it->second).count() -
                                   kDelayMs * 1000.0);
            pending.erase(it);
            sendOne();
        }
        // A query without an answer after a second is counted lost and replaced.
        const auto now = Clock::now();
        for (auto it = pending.begin(); it != pending.end();) {
            if (now - it->second > std::chrono::seconds(1)) {
                it = pending.erase(it);
                ++lost;
            } else {
                ++it;
            }
        }
        while (static_cast<int>(pending.size()) < inFlight)
            sendOne();
    }
    const double wall = std::chrono::duration<double>(Clock::now() - measureStart).count();
    const double cpu = cpuSeconds(pid) - cpuAtStart;
    ::close(fd);

    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    std::string simStats = readFile(errFile);
    std::filesystem::remove_all(dir);

    std::printf("gamesim_bench: %d servers, answer delay %d ms, %d queries in flight, %.1f s measured\n", servers,
                kDelayMs, inFlight, wall);
    std::printf("  start-up until READY: %.0f ms\n", startupMs);
    std::printf("  replies: %zu (%.0f/s), lost: %ld\n", lateness.size(), static_cast<double>(lateness.size()) / wall,
                lost);
    std::printf("  lateness (receive - send - delay), us: p50 %.0f  p90 %.0f  p99 %.0f  max %.0f\n",
                percentile(lateness, 0.5), percentile(lateness, 0.9), percentile(lateness, 0.99),
                percentile(lateness, 1.0));
    std::printf("  simulator CPU: %.3f s per second (%.1f%% of one core)\n", cpu / wall, 100.0 * cpu / wall);
    std::printf("  simulator's own send lateness: %s", simStats.empty() ? "(none)\n" : simStats.c_str());
    std::fflush(stdout);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 10;
    const int servers = argc > 2 ? std::atoi(argv[2]) : 10000;
    const int inFlight = argc > 3 ? std::atoi(argv[3]) : 100;
    return measure(seconds, servers, inFlight);
}
