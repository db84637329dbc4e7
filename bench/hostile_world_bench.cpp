// Cost of hostile servers to a whole refresh: `pelorix-cli refresh --json` against the hostile world (100 normal
// servers with three of every misbehaving kind among them: floods, trickles, oversized and garbage datagrams, a
// second sender, closed ports, silence, replies without "final" or "eof"), and against the same world with every
// hostile server silent instead. Each world has its own simulators and master service; the two are refreshed
// in turn, and the figures are the medians of the runs.
// Targets: the hostile world's wall time at most 10 % above the silent one's; peak RSS of the cli below 64 MiB.
// Beyond the targets, a third world of 100 normal servers and 100 slow floods shows how the memory for replies grows.
// usage: hostile_world_bench [RUNS (default 9)]
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/HostileWorld.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace pelorix;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr double kWallTarget = 1.10;
constexpr long kRssTargetKib = 64 * 1024;

pid_t spawn(const std::string &program, const std::vector<std::string> &args, const std::string &outPath,
            const std::map<std::string, std::string> &env = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto &[key, value] : env)
            ::setenv(key.c_str(), value.c_str(), 1);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        const int null = ::open("/dev/null", O_RDWR);
        ::dup2(null, STDIN_FILENO);
        ::dup2(null, STDERR_FILENO);
        std::vector<char *> argv{const_cast<char *>(program.c_str())};
        for (const auto &a : args)
            argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    return pid;
}

int runToEnd(const std::string &program, const std::vector<std::string> &args, const std::string &outPath)
{
    int status = 0;
    ::waitpid(spawn(program, args, outPath), &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int freeTcpPort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &length);
    ::close(fd);
    return ntohs(addr.sin_port);
}

bool waitForTcpPort(int port)
{
    for (int i = 0; i < 400; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(static_cast<uint16_t>(port));
        const bool up = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
        ::close(fd);
        if (up)
            return true;
        std::this_thread::sleep_for(25ms);
    }
    return false;
}

struct Measured {
    int status = -1;
    double wallMs = 0;
    long maxRssKib = 0;
    int rows = -1;
    std::vector<double> pingLateMs; // ping minus the answer delay, of every normal server shown
    std::vector<std::string> wrong; // servers shown that should not be, or missing
};

// One world: a simulator for its normal servers, one for its hostile servers, and its master service, up until the
// object goes.
class World
{
  public:
    World(const std::string &name, const std::vector<test::WorldServer> &servers, bool hostileAsSilent,
          const std::string &dir)
        : m_name(name)
        , m_dir(dir + name + "/")
    {
        std::filesystem::create_directories(m_dir + "home");
        std::filesystem::create_directories(m_dir + "config");
        const std::vector<std::string> normal = startPart("normal", test::scenarioJson(servers, false));
        const std::vector<std::string> hostile =
            startPart("hostile", test::scenarioJson(servers, true, hostileAsSilent));
        const std::vector<std::string> addresses = test::worldAddresses(servers, normal, hostile);
        for (size_t i = 0; i < addresses.size(); ++i) {
            const bool shown = servers[i].shown && !(hostileAsSilent && servers[i].hostile);
            m_expected[addresses[i]] = Expected{servers[i].kind + " " + servers[i].hostname, shown,
                                                servers[i].hostile ? -1 : servers[i].delayMs};
        }
        const std::string list = m_dir + "list.txt";
        writeFileAtomically(list, test::masterListText(addresses));
        runToEnd(PELORIX_MASTER_BIN, {"import", list, "--db", m_dir + "master.db"}, m_dir + "import.out");
        m_masterPort = freeTcpPort();
        m_master = spawn(PELORIX_MASTER_BIN,
                         {"serve", "--port", std::to_string(m_masterPort), "--allow-loopback", "--no-check", "--db",
                          m_dir + "master.db"},
                         m_dir + "master.out");
        m_ready = !addresses.empty() && waitForTcpPort(m_masterPort);
    }
    ~World()
    {
        stop(m_master);
        for (const pid_t pid : m_processes)
            stop(pid);
    }
    World(const World &) = delete;
    World &operator=(const World &) = delete;

    bool ready() const { return m_ready; }
    const std::string &name() const { return m_name; }

    Measured refresh() const
    {
        Measured m;
        const std::map<std::string, std::string> env{
            {"PELORIX_HOME", m_dir + "home/"},
            {"PELORIX_MASTER_HOST", "127.0.0.1:" + std::to_string(m_masterPort)},
            {"XDG_CONFIG_HOME", m_dir + "config"}};
        const auto begin = Clock::now();
        const pid_t pid = spawn(PELORIX_CLI_BIN, {"refresh", "--json"}, m_dir + "cli.json", env);
        int status = 0;
        rusage usage{};
        ::wait4(pid, &status, 0, &usage);
        m.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
        m.maxRssKib = usage.ru_maxrss;
        m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::string out;
        readWholeFile(m_dir + "cli.json", out);
        const QJsonArray rows =
            QJsonDocument::fromJson(QByteArray::fromStdString(out)).object().value(QStringLiteral("rows")).toArray();
        m.rows = static_cast<int>(rows.size());
        std::set<std::string> seen;
        for (const auto &value : rows) {
            const QJsonObject row = value.toObject();
            const std::string address = row.value(QStringLiteral("address")).toString().toStdString();
            seen.insert(address);
            const auto expected = m_expected.find(address);
            if (expected == m_expected.end()) {
                m.wrong.push_back("unlisted address " + address);
                continue;
            }
            if (!expected->second.shown)
                m.wrong.push_back("shown: " + expected->second.what);
            int ping = 0;
            if (expected->second.delayMs >= 0 &&
                parseInt32(row.value(QStringLiteral("ping")).toString().toStdString(), ping))
                m.pingLateMs.push_back(ping - expected->second.delayMs);
        }
        for (const auto &[address, expected] : m_expected) {
            if (expected.shown && !seen.count(address))
                m.wrong.push_back("missing: " + expected.what);
        }
        return m;
    }

  private:
    static void stop(pid_t pid)
    {
        if (pid <= 0)
            return;
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }

    // Starts the simulator of one part; its addresses in scenario order, empty when it did not come up.
    std::vector<std::string> startPart(const std::string &part, const std::string &scenario)
    {
        const std::string ports = m_dir + part + ".ports";
        writeFileAtomically(m_dir + part + ".json", scenario);
        m_processes.push_back(spawn(PELORIX_GAMESIM_BIN,
                                    {m_dir + part + ".json", "--base-port", "0", "--port-file", ports},
                                    m_dir + part + ".out"));
        std::string text;
        for (int i = 0; i < 400 && !readWholeFile(ports, text); ++i)
            std::this_thread::sleep_for(25ms);
        return splitLines(text);
    }

    std::string m_name;
    std::string m_dir;
    std::vector<pid_t> m_processes; // the simulators
    pid_t m_master = -1;
    int m_masterPort = 0;
    bool m_ready = false;
    struct Expected {
        std::string what;
        bool shown;
        int delayMs; // -1: a hostile server
    };
    std::map<std::string, Expected> m_expected;
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n == 0 ? 0 : n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

struct Series {
    std::vector<double> wallMs;
    std::vector<double> pingLateMs;
    long peakRssKib = 0;
    int badRuns = 0;
};

void report(const char *name, const Series &s, int expectedRows)
{
    const auto [low, high] = std::minmax_element(s.wallMs.begin(), s.wallMs.end());
    std::printf("%-8s runs=%zu expected_rows=%d bad_runs=%d wall median=%.0f ms min=%.0f ms max=%.0f ms "
                "peak_rss=%ld KiB normal servers' ping - delay p50=%.0f p99=%.0f max=%.0f ms\n",
                name, s.wallMs.size(), expectedRows, s.badRuns, median(s.wallMs), s.wallMs.empty() ? 0.0 : *low,
                s.wallMs.empty() ? 0.0 : *high, s.peakRssKib, percentile(s.pingLateMs, 0.5),
                percentile(s.pingLateMs, 0.99), percentile(s.pingLateMs, 1.0));
}

} // namespace

int main(int argc, char **argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 9;
    std::string dir = "/tmp/pelorix-hostile-bench-XXXXXX";
    if (!::mkdtemp(dir.data()))
        return 1;
    dir += "/";

    const auto servers = test::hostileWorld();
    int shownHostile = 0;
    int shownNormal = 0;
    for (const auto &server : servers) {
        shownHostile += server.shown;
        shownNormal += server.shown && !server.hostile;
    }
    // Beyond the targets: how the memory for replies grows when a hundred servers flood at once, each slowly
    // enough (one 65,000-byte datagram every 50 ms) that its query holds a growing reply for its whole time.
    std::vector<test::WorldServer> floods;
    for (const auto &server : servers) {
        if (server.hostile)
            continue;
        floods.push_back(server);
        test::WorldServer flood = server;
        flood.kind = "slow-flood";
        flood.behaviour = "flood";
        flood.hostile = true;
        flood.shown = false;
        flood.gapMs = 50;
        flood.floodBurst = 1;
        floods.push_back(flood);
    }

    int status = 0;
    {
        const World hostile("hostile", servers, false, dir);
        const World silent("silent", servers, true, dir);
        const World flooded("flooded", floods, false, dir);
        if (!hostile.ready() || !silent.ready() || !flooded.ready()) {
            std::fprintf(stderr, "hostile_world_bench: a simulator or master service did not come up\n");
            status = 1;
        } else {
            Series h;
            Series s;
            Series f;
            const auto measure = [](const World &world, Series &series, int expectedRows) {
                const Measured m = world.refresh();
                series.wallMs.push_back(m.wallMs);
                series.peakRssKib = std::max(series.peakRssKib, m.maxRssKib);
                series.pingLateMs.insert(series.pingLateMs.end(), m.pingLateMs.begin(), m.pingLateMs.end());
                if (m.status != 0 || m.rows != expectedRows || !m.wrong.empty()) {
                    ++series.badRuns;
                    std::printf("%s: a run ended with status %d and %d rows\n", world.name().c_str(), m.status, m.rows);
                    for (const auto &what : m.wrong)
                        std::printf("  %s\n", what.c_str());
                }
            };
            // One refresh of each first, not counted: it brings the programs into the page cache.
            hostile.refresh();
            silent.refresh();
            for (int run = 0; run < runs; ++run) {
                // The order alternates, so that neither world always runs on a machine just warmed by the other.
                if (run % 2 == 0) {
                    measure(hostile, h, shownHostile);
                    measure(silent, s, shownNormal);
                } else {
                    measure(silent, s, shownNormal);
                    measure(hostile, h, shownHostile);
                }
            }
            for (int run = 0; run < std::min(runs, 3); ++run)
                measure(flooded, f, shownNormal);

            std::printf("pelorix-cli refresh --json; hostile: %zu servers (%d normal), silent: the same with every "
                        "hostile server silent; flooded: %d normal and %zu slow floods\n",
                        servers.size(), shownNormal, shownNormal, floods.size() - static_cast<size_t>(shownNormal));
            report("hostile", h, shownHostile);
            report("silent", s, shownNormal);
            report("flooded", f, shownNormal);
            const double ratio = median(h.wallMs) / median(s.wallMs);
            const long rss = std::max(h.peakRssKib, s.peakRssKib);
            std::printf("wall time hostile / silent = %.3f (target <= %.2f): %s\n", ratio, kWallTarget,
                        ratio <= kWallTarget ? "met" : "MISSED");
            std::printf("peak RSS of the hostile and silent worlds %ld KiB (target < %ld KiB): %s\n", rss,
                        kRssTargetKib, rss < kRssTargetKib ? "met" : "MISSED");
            std::printf("peak RSS of the flooded world %ld KiB (no target)\n", f.peakRssKib);
            if (h.badRuns || s.badRuns || f.badRuns)
                std::printf("some runs did not end with status 0 and the expected rows: the figures are suspect\n");
        }
    }
    std::filesystem::remove_all(dir);
    return status;
}
