// Refresh benchmarks against pelorix-gamesim on loopback: wall time of whole refreshes against the ideal the query
// cap allows, the ping error, and time, CPU and peak memory of `pelorix-cli refresh` (and of qstat, when installed,
// on the same farm).
#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/RefreshEngine.h"
#include "platform/AtomicFile.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fcntl.h>
#include <map>
#include <optional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace
{

using namespace pelorix;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

// Scratch folders of this run, removed at the end.
std::vector<std::string> g_tempDirs;

std::string makeTempDir()
{
    std::string path = "/tmp/pelorix-refresh-bench-XXXXXX";
    if (!::mkdtemp(path.data()))
        std::abort();
    g_tempDirs.push_back(path);
    return path + "/";
}

pid_t spawn(const std::string &program, const std::vector<std::string> &args, const std::string &outPath,
            const std::map<std::string, std::string> &env = {})
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        for (const auto &[key, value] : env)
            ::setenv(key.c_str(), value.c_str(), 1);
        const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(out, STDOUT_FILENO);
        const int null = ::open("/dev/null", O_WRONLY);
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

struct Measured {
    int status = -1;
    double wallMs = 0;
    double cpuMs = 0;
    long maxRssKb = 0;
};

Measured runMeasured(const std::string &program, const std::vector<std::string> &args, const std::string &outPath,
                     const std::map<std::string, std::string> &env = {})
{
    Measured m;
    const auto begin = Clock::now();
    const pid_t pid = spawn(program, args, outPath, env);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    m.wallMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();
    m.cpuMs = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
    m.maxRssKb = usage.ru_maxrss;
    m.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return m;
}

// A farm of simulated servers: one pelorix-gamesim per group.
class Farm
{
  public:
    struct Group {
        int count;
        int delayMs;
        std::string behaviour; // normal, silent, closed
    };

    Farm(const std::vector<Group> &groups, const std::string &dir)
    {
        int index = 0;
        for (const auto &g : groups) {
            const std::string list = dir + "group" + std::to_string(index) + ".txt";
            m_pids.push_back(
                spawn(PELORIX_GAMESIM_BIN,
                      {"--generate", std::to_string(g.count), "--delay", std::to_string(g.delayMs), "--behaviour",
                       g.behaviour, "--base-port", "0", "--seed", std::to_string(index + 1), "--port-file", list},
                      dir + "gamesim" + std::to_string(index) + ".out"));
            std::string text;
            for (int i = 0; i < 600 && !readWholeFile(list, text); ++i)
                std::this_thread::sleep_for(50ms);
            for (const auto &line : splitLines(text)) {
                m_addresses.push_back(line);
                m_delay[line] = g.behaviour == "normal" ? g.delayMs : -1;
            }
            ++index;
        }
    }
    ~Farm()
    {
        for (const pid_t pid : m_pids) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Farm(const Farm &) = delete;
    Farm &operator=(const Farm &) = delete;

    const std::vector<std::string> &addresses() const { return m_addresses; }
    int delayOf(const std::string &address) const
    {
        const auto it = m_delay.find(address);
        return it == m_delay.end() ? -1 : it->second;
    }
    std::string masterListText() const
    {
        std::string text;
        for (const auto &a : m_addresses)
            text += a + "\r\n";
        return text + "END\r\n";
    }

  private:
    std::vector<pid_t> m_pids;
    std::vector<std::string> m_addresses;
    std::map<std::string, int> m_delay;
};

class SilentDialogs final : public Dialogs
{
  public:
    DialogAnswer message(DialogKind, const std::string &text, DialogButtons) override
    {
        std::fprintf(stderr, "dialog: %s\n", text.c_str());
        return DialogAnswer::Ok;
    }
    std::optional<std::string> saveFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> openFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> prompt(const std::string &, const std::string &, const std::string &, bool) override
    {
        return std::nullopt;
    }
};

class NullView final : public RefreshView
{
  public:
    void setCacheLabelVisible(bool) override {}
    void setTotalLabel(const std::string &) override {}
    void setPlayersLabel(const std::string &) override {}
    void setServersLabel(const std::string &) override {}
    void setProgressPanelVisible(bool visible) override { m_panel = visible; }
    bool isProgressPanelVisible() const override { return m_panel; }
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setCancelCaption(const std::string &) override {}
    void clearMapPicture() override {}
    void setMenuItemEnabled(RefreshMenuItem, bool) override {}
    void ListBox1_servernameClick() override {}

  private:
    bool m_panel = false;
};

// The window's pump: sleeps briefly, and the watchdog ticks every second.
class BenchPump final : public EventPump
{
  public:
    void waitForEvents(std::chrono::milliseconds maxWait) override
    {
        std::this_thread::sleep_for(std::min(maxWait, 5ms));
    }
    void processPendingEvents() override
    {
        if (engine && Clock::now() >= m_next) {
            m_next = Clock::now() + 1s;
            engine->Thread_killerTimer();
        }
    }
    RefreshEngine *engine = nullptr;

  private:
    Clock::time_point m_next = Clock::now() + 1s;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const auto index = static_cast<size_t>(std::ceil(p * static_cast<double>(values.size()))) - 1;
    return values[std::min(index, values.size() - 1)];
}

void engineScenario(const char *name, const std::vector<Farm::Group> &groups, double idealMs)
{
    const std::string dir = makeTempDir();
    Farm farm(groups, dir);
    SettingsStore settings(dir + "PELORIX.reg");
    ServerTable table;
    SilentDialogs dialogs;
    BenchPump pump;
    NullView view;
    const std::string list = farm.masterListText();
    RefreshEngine engine(table, settings, dialogs, pump, view,
                         [&list](const std::string &, const std::string &) { return list; });
    pump.engine = &engine;
    engine.setProgramFolder(dir);

    const auto begin = Clock::now();
    engine.refresh_imageClick();
    const double wallMs = std::chrono::duration<double, std::milli>(Clock::now() - begin).count();

    std::vector<double> errors;
    for (int row = 0; row < table.rowCount(ListBox6_ipaddress); ++row) {
        const int delay = farm.delayOf(table.cell(ListBox6_ipaddress, row));
        int ping = 0;
        if (delay >= 0 && parseInt32(table.cell(ListBox3_ping, row), ping))
            errors.push_back(std::abs(ping - delay));
    }
    const auto c = engine.counters();
    std::printf("%-34s servers=%5zu rows=%5d wall=%7.0f ms ideal=%7.0f ms (x%.2f) p99|ping-delay|=%4.0f ms "
                "peak_active=%d late_dropped=%d forced=%d\n",
                name, farm.addresses().size(), table.rowCount(ListBox1_servername), wallMs, idealMs,
                idealMs > 0 ? wallMs / idealMs : 0.0, percentile(errors, 0.99), c.peakActiveQueries,
                c.lateAnswersDropped, c.forcedStops);
    std::fflush(stdout);
}

void cliAndQstat(int servers, int delayMs)
{
    const std::string dir = makeTempDir();
    Farm farm({{servers, delayMs, "normal"}}, dir);
    writeFileAtomically(dir + "cache.dat", farm.masterListText());
    const std::map<std::string, std::string> env{
        {"PELORIX_HOME", dir}, {"PELORIX_MASTER_HOST", "127.0.0.1:1"}, {"XDG_CONFIG_HOME", dir + "config"}};
    const Measured cli = runMeasured(PELORIX_CLI_BIN, {"refresh", "--json"}, dir + "cli.json", env);
    std::string out;
    readWholeFile(dir + "cli.json", out);
    const auto rows = static_cast<long>(std::count(out.begin(), out.end(), '{')) - 1;
    std::printf("pelorix-cli refresh, %d servers @%d ms: status=%d rows=%ld wall=%.0f ms cpu=%.0f ms "
                "peak_rss=%ld KiB (ideal wall %.0f ms)\n",
                servers, delayMs, cli.status, rows, cli.wallMs, cli.cpuMs, cli.maxRssKb,
                std::ceil(servers / 100.0) * (delayMs + 300));
    const char *qstat = nullptr;
    for (const char *candidate : {"/usr/bin/quakestat", "/usr/bin/qstat"}) {
        if (::access(candidate, X_OK) == 0) {
            qstat = candidate;
            break;
        }
    }
    if (qstat) {
        std::string hosts;
        for (const auto &a : farm.addresses())
            hosts += a + "\n";
        writeFileAtomically(dir + "hosts.txt", hosts);
        const std::vector<std::string> args{
            "-default", "gps", "-f", dir + "hosts.txt", "-maxsim", "100", "-sendinterval", "0", "-raw", ","};
        const Measured q = runMeasured(qstat, args, dir + "qstat.out");
        std::string out;
        readWholeFile(dir + "qstat.out", out);
        long answered = 0;
        for (const auto &line : splitLines(out))
            answered += line.rfind("GPS,", 0) == 0 && line.find(",DOWN") == std::string::npos &&
                        line.find(",TIMEOUT") == std::string::npos && line.find(",ERROR") == std::string::npos;
        std::printf("qstat -gps (maxsim 100, sendinterval 0), %d servers: status=%d answered=%ld wall=%.0f ms "
                    "cpu=%.0f ms peak_rss=%ld KiB\n",
                    servers, q.status, answered, q.wallMs, q.cpuMs, q.maxRssKb);
    } else {
        std::printf("qstat: not installed\n");
    }
    std::fflush(stdout);
}

} // namespace

int main()
{
    constexpr int kDelay = 20;
    const auto answering = [](int n, int d) { return std::ceil(n / 100.0) * (d + 300); };
    const auto silent = [](int n) { return std::ceil(n / 100.0) * 800 + 300; };
    engineScenario("1,000 answering after 20 ms", {{1000, kDelay, "normal"}}, answering(1000, kDelay));
    engineScenario("5,000 answering after 20 ms", {{5000, kDelay, "normal"}}, answering(5000, kDelay));
    engineScenario("1,000 silent", {{1000, 0, "silent"}}, silent(1000));
    // The mix has no closed form; its ideal is the answering part plus the silent part run one after the other.
    engineScenario("mix 600@20 + 200@200 + 150 silent + 50 closed",
                   {{600, kDelay, "normal"}, {200, 200, "normal"}, {150, 0, "silent"}, {50, 0, "closed"}},
                   answering(800, kDelay) + silent(150));
    cliAndQstat(5000, kDelay);
    for (const auto &dir : g_tempDirs)
        std::filesystem::remove_all(dir);
    return 0;
}
