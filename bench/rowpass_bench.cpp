// The row pass over 10,000 answering servers, with the filter settings read from a real settings file for
// every row. Prints the best of five runs, as wall time and as processor time; the aim is under 100 ms.

#include "core/Dialogs.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "discovery/RowPass.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

using namespace pelorix;

namespace
{

class SilentDialogs : public Dialogs
{
  public:
    DialogAnswer message(DialogKind, const std::string &, DialogButtons) override { return DialogAnswer::Ok; }
    std::optional<std::string> saveFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> openFileName(const FileDialogRequest &) override { return std::nullopt; }
    std::optional<std::string> prompt(const std::string &, const std::string &, const std::string &, bool) override
    {
        return std::nullopt;
    }
};

class NoLabels : public StatisticsLabels
{
  public:
    void setPlayersLabel(const std::string &text) override { last = text; }
    void setServersLabel(const std::string &text) override { last = text; }
    std::string last;
};

// A reply like a busy server's: the server values, sixteen players with their scores and pings, the tail.
std::string replyFor(int k)
{
    const int players = k % 17;
    std::string text = "\\statusresponse\\0\\hostname\\[c=FF0000]Server " + std::to_string(k) + "\\numplayers\\" +
                       std::to_string(players) + "\\maxplayers\\16\\gametype\\" + (k % 3 ? "CTF" : "DM") +
                       "\\gamevariant\\VEKTA 4" + (k % 4 ? "" : "X") + "\\mapname\\map_" + std::to_string(k % 20) +
                       "\\hostport\\10480\\password\\" + (k % 5 ? "0" : "1") + "\\gamever\\1." + std::to_string(k % 2) +
                       "\\statsenabled\\0\\vektawon\\0\\suspectswon\\0\\round\\1\\numrounds\\2";
    for (int p = 0; p < players; ++p) {
        const std::string n = std::to_string(p);
        text += "\\player_" + n + "\\Player " + n + "\\score_" + n + "\\" + std::to_string(p * 3) + "\\ping_" + n +
                "\\" + std::to_string(40 + p);
    }
    return text + "\\queryid\\AMv1\\final\\\\eof\\";
}

// The processor time of this thread: on a shared machine it shows the work apart from the waits for a processor.
double threadCpuMs()
{
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1000.0 + static_cast<double>(ts.tv_nsec) / 1e6;
}

struct Scenario {
    const char *name;
    void (*setUp)(SettingsStore &);
};

// Times the row pass and the final pass over the same 10,000 answers; returns the best of five runs.
double timeScenario(const Scenario &scenario, const std::string &dir, const std::vector<std::string> &addresses,
                    const std::vector<std::string> &texts, const std::vector<std::string> &pings)
{
    SettingsStore settings(dir + "/" + scenario.name + ".reg");
    scenario.setUp(settings);
    SilentDialogs dialogs;
    NoLabels labels;
    double best = 1e9;
    double bestCpu = 1e9;
    int shown = 0;
    for (int round = 0; round < 5; ++round) {
        ServerTable table;
        for (size_t k = 0; k < addresses.size(); ++k)
            table.AppendPlaceholderRow();
        table.setColumnItems(ListBox6_ipaddress, addresses);
        std::atomic<bool> cancel{false};
        int step = 0, playersOnline = 0, serversOnline = 0;
        std::string searched =
            "player 15"; // only full servers hold it: with every rule on, the search walks every reply
        bool found = false;
        RowPassState state{step, playersOnline, serversOnline, searched, found};

        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = threadCpuMs();
        RunRowPass(table, settings, dialogs, ReplyListsView{addresses, texts, pings}, cancel, state, labels);
        RunFinalPass(table, true);
        const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
        best = std::min(best, ms);
        bestCpu = std::min(bestCpu, threadCpuMs() - cpuStart);
        shown = table.rowCount(ListBox1_servername);
    }
    std::printf("%-18s %zu rows: best of 5 %.1f ms wall, %.1f ms processor time (target < 100 ms), %d rows shown\n",
                scenario.name, addresses.size(), best, bestCpu, shown);
    return best;
}

} // namespace

int main(int argc, char **argv)
{
    constexpr int kRows = 10000;
    char dirTemplate[] = "/tmp/pelorix-rowpass-XXXXXX";
    const char *dir = ::mkdtemp(dirTemplate);
    if (!dir) {
        std::perror("mkdtemp");
        return 1;
    }

    std::vector<std::string> addresses, texts, pings;
    for (int k = 0; k < kRows; ++k) {
        addresses.push_back("10." + std::to_string(k / 65536) + "." + std::to_string(k / 256 % 256) + "." +
                            std::to_string(k % 256) + ":10481");
        texts.push_back(replyFor(k));
        pings.push_back(std::to_string(k % 300));
    }

    const Scenario scenarios[] = {
        {"default-settings", [](SettingsStore &s) { s.WriteString("nick", "player"); }},
        {"every-rule-on",
         [](SettingsStore &s) {
             s.WriteBool("hide_na_servers", true);
             s.WriteBool("gametype", true);
             s.WriteString("gametype_name", "CTF");
             s.WriteBool("hide_password_servers", true);
             s.WriteBool("hide_full_servers", true);
             s.WriteBool("hide_empty_servers", true);
             s.WriteBool("show_game_version", true);
             s.WriteInteger("game_version_index", 2);
             s.WriteBool("maxping", true);
             s.WriteString("ping", "150");
         }},
    };
    // An argument picks one scenario by name (for profiling); without one every scenario runs.
    for (const auto &scenario : scenarios) {
        if (argc < 2 || std::string(argv[1]) == scenario.name)
            timeScenario(scenario, dir, addresses, texts, pings);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
