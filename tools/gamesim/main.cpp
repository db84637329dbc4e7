// pelorix-gamesim: many simulated game servers in one process, for tests, benchmarks and the demo.
#include "Registration.h"
#include "Scenario.h"
#include "Simulator.h"

#include <arpa/inet.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

using namespace pelorix::gamesim;

namespace
{

// The manual page is made from this text (help2man), so it says everything the page should.
constexpr const char *kHelp = R"(Usage: pelorix-gamesim SCENARIO.json [OPTIONS]
  or:  pelorix-gamesim --generate N [--seed S] [--delay MS] [--behaviour B] [OPTIONS]

Simulated VEKTA 4 game servers on 127.0.0.1 (or --bind ADDR), each on its own UDP query port (the join port is one
less), all run by one event loop. A server answers exactly the 8-byte datagram "\status\" and
ignores everything else. When every socket is bound, the files are written and the registration (if
any) is done, standard output gets the line "READY <count>".

World:
  SCENARIO.json            the servers described in a JSON file (see Scenario file)
  --generate N             N synthetic servers instead of a file
  --seed S                 seed of --generate, of the jitter, churn and garbage (default: the file's
                           "seed", else 1)
  --delay MS               answer delay of every generated server (default 0)
  --behaviour B            behaviour of every generated server (default normal; see Behaviours)
  --base-port P            with --generate the ports P, P+1, ...; for a scenario all its ports moved
                           so that the lowest is P, gaps kept. P = 0: the system picks a free port
                           for every server (the default for --generate; learn them from
                           --port-file).

Output and control:
  --bind ADDR              the IPv4 address every server binds to (default 127.0.0.1); the files and
                           the registration below name the servers by it
  --port-file FILE         once every socket is bound, write "127.0.0.1:PORT" LF per server, in
                           scenario order (written whole: the file appears complete or not at all)
  --master-list-file FILE  likewise, the master-list text: "127.0.0.1:PORT" CR LF per server, then
                           "END" CR LF
  --print-master-list      print the master-list text of the scenario's ports on stdout and exit
                           without binding (needs fixed ports)
  --register URL           register every server with the master service at URL (http://host:port):
                           GET /vekta4/vekta4add.php?server=127.0.0.1:PORT, one request per server
  --stats                  at exit, print send-lateness figures on stderr (SIGUSR1 prints them at
                           any time): STATS queries=Q sends=S lateness_us_p50=A lateness_us_p99=B
                           lateness_us_max=C
  --run-for MS             exit after MS milliseconds
  -h, --help               print this text and exit
  --version                print the version and exit

Scenario file:
  A JSON object: {"basePort": 27900, "seed": 7, "defaults": {SERVER}, "servers": [{SERVER}, ...]}. A
  server without "port" gets basePort + its index (without basePort: a free port); "defaults" holds
  the keys every server starts from. The keys of SERVER, all optional (keys starting with "_" are
  ignored):

  "hostname"               the server's name; colour codes like [c=FF0000], [b], [u] allowed
  "gametype"               Kessrin, Talvori, Druvane, Pellish or Morvath
  "gamevariant"            "VEKTA 4" or "VEKTA 4X"
  "gamever"                "1.0" or "1.1"
  "mapname"                the map
  "password"               "0" open, else e.g. "1"
  "maxplayers"             the slots
  "players"                ["Name", ...] or [{"name", "score", "ping"}, ...]; numplayers in the
                           reply is their count
  "statsenabled", "vektawon", "suspectswon", "round", "numrounds", "queryid"
                           further reply values, sent as given (hostport is always the port minus 1)
  "port"                   the query port
  "behaviour"              how the server answers (see Behaviours; default normal)
  "delayMs", "jitterMs"    answer after delayMs, varied by up to jitterMs either way
  "split", "gapMs"         the reply cut into split datagrams, gapMs (default 100) apart
  "churn"                  {"leaveEveryMs": MS, "joinEveryMs": MS}: a random player leaves, a new
                           one joins (while a slot is free), that often
  "events"                 [{"atMs": MS, "join": "Name" or {"name", "score", "ping"}}, {"atMs": MS,
                           "leave": "Name"}, ...]: changes at fixed times after start-up (a leave of
                           "" removes the last player)

Behaviours:
  normal                   the whole reply at once
  silent                   bound, never answers
  closed                   the port is unreachable (and kept from every other socket while the
                           simulator runs)
  no-eof, no-final         the reply without that pair
  garbage                  random bytes with NUL
  oversized                one 65,507-byte datagram (a "padding" pair before "final")
  trickle                  the reply's opening, then one made-up player every gapMs (default 200)
                           until the client's port is gone or trickleMaxMs (default 60000) has
                           passed; with "trickleComplete": true the opening is the whole reply,
                           "eof" included
  flood                    floodBurst (default 4) datagrams of 65,000 bytes every gapMs (default 1)
                           for floodMs (default 3000) or until the client's port is gone
  second-sender            the first half of the reply from the query port, the second half from
                           another port gapMs (default 20) later

Exit status:
  0    ended by SIGTERM, SIGINT or --run-for
  1    a port could not be bound
  2    a bad command line or scenario
)";

int usageError(const std::string &message)
{
    std::fprintf(stderr, "pelorix-gamesim: %s\n(see pelorix-gamesim --help)\n", message.c_str());
    return 2;
}

bool parseNumber(const std::string &text, long long low, long long high, long long &value)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 18)
        return false;
    value = std::stoll(text);
    return value >= low && value <= high;
}

void raiseFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Asks the scheduler for a short time slice (no more CPU share, no privilege needed): on a busy machine the
// loop then gets the processor sooner after its timer fires. Kernels without custom slices ignore it.
void requestShortTimeSlice()
{
    struct SchedAttr {
        uint32_t size;
        uint32_t policy;
        uint64_t flags;
        int32_t nice;
        uint32_t priority;
        uint64_t runtime;
        uint64_t deadline;
        uint64_t period;
    };
    SchedAttr attr{};
    attr.size = sizeof attr;
    attr.policy = 0; // SCHED_OTHER
    attr.nice = ::getpriority(PRIO_PROCESS, 0);
    attr.runtime = 100000; // ns, the shortest slice the kernel accepts
    ::syscall(SYS_sched_setattr, 0, &attr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    std::string scenarioPath;
    long long generate = -1;
    long long seed = -1;
    long long delayMs = 0;
    long long basePort = -1;
    Behaviour behaviour = Behaviour::Normal;
    bool printList = false;
    std::string bindHost = "127.0.0.1";
    RunOptions options;

    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= args.size())
                return false;
            out = args[++i];
            return true;
        };
        auto number = [&](long long low, long long high, long long &out) {
            std::string text;
            return value(text) && parseNumber(text, low, high, out);
        };
        long long runFor = 0;
        std::string text;
        if (arg == "-h" || arg == "--help") {
            std::fputs(kHelp, stdout);
            return 0;
        } else if (arg == "--version") {
            std::printf("pelorix-gamesim %s\n", PELORIX_VERSION);
            return 0;
        } else if (arg == "--generate") {
            if (!number(0, 60000, generate))
                return usageError("--generate takes a server count");
        } else if (arg == "--seed") {
            if (!number(0, 999999999999LL, seed))
                return usageError("--seed takes a whole number");
        } else if (arg == "--delay") {
            if (!number(0, 3600000, delayMs))
                return usageError("--delay takes milliseconds");
        } else if (arg == "--behaviour" || arg == "--behavior") {
            const auto named = value(text) ? behaviourFromName(text) : std::nullopt;
            if (!named)
                return usageError("--behaviour takes one of normal, silent, closed, no-eof, no-final, garbage, "
                                  "oversized, trickle, flood, second-sender");
            behaviour = *named;
        } else if (arg == "--base-port") {
            if (!number(0, 65535, basePort))
                return usageError("--base-port takes a port number (0: free ports)");
        } else if (arg == "--bind") {
            in_addr parsed{};
            if (!value(bindHost) || ::inet_pton(AF_INET, bindHost.c_str(), &parsed) != 1)
                return usageError("--bind takes an IPv4 address");
        } else if (arg == "--port-file") {
            if (!value(options.portFile))
                return usageError("--port-file takes a file name");
        } else if (arg == "--master-list-file") {
            if (!value(options.masterListFile))
                return usageError("--master-list-file takes a file name");
        } else if (arg == "--print-master-list") {
            printList = true;
        } else if (arg == "--register") {
            if (!value(options.registerUrl) || !isRegistrationUrl(options.registerUrl))
                return usageError("--register takes an address http://host:port");
        } else if (arg == "--stats") {
            options.statsAtExit = true;
        } else if (arg == "--run-for") {
            if (!number(1, 86400000, runFor))
                return usageError("--run-for takes milliseconds");
            options.runForMs = static_cast<int>(runFor);
        } else if (!arg.empty() && arg[0] == '-') {
            return usageError("unknown option " + arg);
        } else if (scenarioPath.empty()) {
            scenarioPath = arg;
        } else {
            return usageError("only one scenario file");
        }
    }
    if (scenarioPath.empty() == (generate < 0))
        return usageError("give either a scenario file or --generate N");

    Scenario scenario;
    std::string error;
    if (generate >= 0) {
        scenario =
            generateScenario(static_cast<int>(generate), seed < 0 ? 1 : static_cast<uint64_t>(seed),
                             static_cast<int>(delayMs), behaviour, basePort < 0 ? 0 : static_cast<int>(basePort));
        if (basePort > 0 && basePort + generate - 1 > 65535)
            return usageError("--base-port + --generate goes beyond port 65535");
    } else {
        if (!loadScenarioFile(scenarioPath, scenario, error))
            return usageError(error);
        if (seed >= 0)
            scenario.seed = static_cast<uint64_t>(seed);
        if (basePort >= 0 && !shiftPorts(scenario, static_cast<int>(basePort), error))
            return usageError(error);
    }

    if (printList) {
        std::vector<int> ports;
        for (const auto &server : scenario.servers) {
            if (server.port == 0)
                return usageError("--print-master-list needs fixed ports (a basePort, \"port\" or --base-port)");
            ports.push_back(server.port);
        }
        std::fputs(masterListText(ports, bindHost).c_str(), stdout);
        return 0;
    }

    raiseFileLimit();
    requestShortTimeSlice();
    // Signals are taken from a signalfd by the loop; blocked here before any thread exists.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGUSR1);
    ::sigprocmask(SIG_BLOCK, &signals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    Simulator simulator(std::move(scenario));
    simulator.setBindAddress(bindHost);
    if (!simulator.bindAll(error)) {
        std::fprintf(stderr, "pelorix-gamesim: %s\n", error.c_str());
        return 1;
    }
    return simulator.run(options);
}
