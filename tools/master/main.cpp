// pelorix-master: the master-list web service the browser talks to, and its administration commands.
#include "MasterService.h"
#include "MasterStore.h"
#include "Password.h"
#include "ServerAddress.h"
#include "core/Text.h"
#include "platform/AtomicFile.h"

#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace pelorix::master;

namespace
{

constexpr int kUsageError = 64;

// The manual page is made from this text (help2man), so it says everything the page should.
const char *const kUsage = R"(Usage: pelorix-master COMMAND [OPTIONS] [ARGS]

The reference master-list web service of Pelorix, and the commands that administer its database:
the server list, the newest version, the message of the day and the administrator password. The
browser asks it for the list (/vekta4list.php), the version (/info/ver.php), the message of the
day (/info/motd.txt) and the installer (/download/vekta4/PELORIX_install.exe), and sends it the
additions and deletions of its users (/vekta4/vekta4add.php, /vekta4/vekta4delete.php). GET
/healthz answers 200 and "ok" with the counts of servers, connections and running probes while
the database works, 503 otherwise.

Commands:
  serve [OPTIONS]   run the web service until SIGTERM or SIGINT; an access log line per request goes
                    to standard error
  list              print the listed servers, one a line
  add HOST:PORT     list a server, without a status query
  remove HOST:PORT  take a server off the list
  import FILE       list every address of a plain list, one host:port a line; other lines are
                    skipped
  set-password [PASSWORD]
                    set the administrator password that deletions need (read from standard input
                    when not given); not empty, without '?'
  set-version TEXT  set the newest version the service announces; the browser offers its installer
                    when it differs from its own (v1.79)
  set-motd TEXT | --file FILE
                    set the message of the day
  -h, --help, help  print this text and exit
  --version         print the version and exit

Options of every command:
  --db PATH         the database, an SQLite file (default: ./pelorix-master.db)

Options of serve:
  --listen ADDR     the IPv4 or IPv6 address to listen on (default: 127.0.0.1)
  --port N          the TCP port (default: 8480; 0 picks a free one, printed on standard error)
  --installer FILE  the file served as the installer (none: 404)
  --public-address HOST[:PORT]
                    the host in the absolute addresses of replies (the message of the day's address
                    in the version reply); default: the Host header of each request
  --allow-private   list servers in the private blocks 10/8, 172.16/12 and 192.168/16 (a LAN list)
  --allow-loopback  list servers in 127/8 (tests, one machine)
  --no-check        add servers without asking them for their status first
  --status-timeout MS
                    how long an added server has to answer the status query (default: 2000)
  --threads N       network threads (default: one per processor, at least 2)
  --workers N       threads for password checks and database writes (default: 2)
  --max-connections N
                    open connections of all clients together (default: 8192, kept below the
                    open-file limit)
  --max-client-connections N
                    open connections per client address, per /64 for IPv6 (default: 32)
  --request-timeout S
                    seconds from a connection to the end of its request headers (default: 10)
  --idle-timeout S  seconds without progress in either direction (default: 10)
  --password-checks N
                    password checks a second, all clients together (default: 4)
  --no-access-log   no access log

Exit status:
  0    done
  1    the command failed (database error, address already listed or not listed, port taken)
  64   a bad command line
)";

struct Arguments {
    std::map<std::string, std::string> values;
    std::set<std::string> flags;
    std::vector<std::string> positional;

    bool has(const std::string &name) const { return values.count(name) || flags.count(name); }
    std::string value(const std::string &name, const std::string &fallback = {}) const
    {
        const auto it = values.find(name);
        return it == values.end() ? fallback : it->second;
    }
};

bool parseArguments(const std::vector<std::string> &args, Arguments &parsed, std::string &error)
{
    static const std::set<std::string> withValue{"--db",
                                                 "--listen",
                                                 "--port",
                                                 "--installer",
                                                 "--threads",
                                                 "--file",
                                                 "--public-address",
                                                 "--workers",
                                                 "--max-connections",
                                                 "--max-client-connections",
                                                 "--request-timeout",
                                                 "--idle-timeout",
                                                 "--status-timeout",
                                                 "--password-checks"};
    static const std::set<std::string> flags{"--allow-loopback", "--allow-private", "--no-check", "--no-access-log"};
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (withValue.count(arg)) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            parsed.values[arg] = args[++i];
        } else if (flags.count(arg)) {
            parsed.flags.insert(arg);
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            parsed.positional.push_back(arg);
        }
    }
    return true;
}

bool parseCount(const std::string &text, int minimum, int maximum, int &value)
{
    try {
        std::size_t used = 0;
        value = std::stoi(text, &used);
        return used == text.size() && value >= minimum && value <= maximum;
    } catch (const std::exception &) {
        return false;
    }
}

std::string utcDate()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[16];
    std::strftime(text, sizeof text, "%Y-%m-%d", &parts);
    return text;
}

int fail(const std::string &message, int status = 1)
{
    std::fprintf(stderr, "pelorix-master: %s\n", message.c_str());
    return status;
}

// Thousands of connections need thousands of descriptors: take what the hard limit allows, and keep the
// connection limit below it with room for the probes, the database and the log.
int descriptorBudget()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20));
}

int serve(MasterStore &store, const Arguments &args)
{
    ServiceOptions options;
    options.listenHost = args.value("--listen", options.listenHost);
    options.allowLoopback = args.has("--allow-loopback");
    options.allowPrivate = args.has("--allow-private");
    options.checkStatus = !args.has("--no-check");
    options.accessLog = !args.has("--no-access-log");
    options.installerPath = args.value("--installer");
    options.publicAddress = args.value("--public-address");
    struct Count {
        const char *name;
        int minimum;
        int maximum;
        int *value;
    };
    int passwordChecks = static_cast<int>(options.passwordChecksPerSecond);
    const Count counts[] = {
        {"--port", 0, 65535, &options.port},
        {"--threads", 1, 256, &options.threads},
        {"--workers", 1, 64, &options.workers},
        {"--max-connections", 1, 1 << 20, &options.maxConnections},
        {"--max-client-connections", 1, 1 << 20, &options.maxClientConnections},
        {"--request-timeout", 1, 3600, &options.requestTimeoutSeconds},
        {"--idle-timeout", 1, 3600, &options.idleTimeoutSeconds},
        {"--status-timeout", 100, 60000, &options.statusTimeoutMs},
        {"--password-checks", 1, 1000, &passwordChecks},
    };
    for (const auto &count : counts) {
        if (args.has(count.name) && !parseCount(args.value(count.name), count.minimum, count.maximum, *count.value))
            return fail(std::string(count.name) + " must be a number from " + std::to_string(count.minimum) + " to " +
                            std::to_string(count.maximum),
                        kUsageError);
    }
    options.passwordChecksPerSecond = passwordChecks;
    const int budget = descriptorBudget() - 256;
    if (budget < options.maxConnections) {
        options.maxConnections = std::max(16, budget);
        std::fprintf(stderr, "pelorix-master: at most %d connections (open-file limit)\n", options.maxConnections);
    }

    // SIGINT and SIGTERM end the service in order; every thread started from here on inherits the mask,
    // so only the waiting thread below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    MasterService service(store, options);
    std::string error;
    if (!service.bind(error))
        return fail(error);
    std::fprintf(stderr, "pelorix-master: listening on http://%s:%d/\n", options.listenHost.c_str(), service.port());
    std::fprintf(stderr, "pelorix-master: %d connections in all, %d per client address, %d s for a request\n",
                 options.maxConnections, options.maxClientConnections, options.requestTimeoutSeconds);
    std::fflush(stderr);

    std::thread stopper([&service, stopSignals] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        service.stop();
    });
    const bool served = service.run();
    if (stopper.joinable()) {
        // run() may also end on its own; wake the waiting thread so it can be joined.
        pthread_kill(stopper.native_handle(), SIGTERM);
        stopper.join();
    }
    return served ? 0 : fail("the service stopped on an error");
}

int importList(MasterStore &store, const std::string &path)
{
    std::string text;
    if (!pelorix::readWholeFile(path, text))
        return fail("cannot read " + path);
    std::vector<std::string> addresses;
    int skipped = 0;
    for (const auto &line : pelorix::splitLines(text)) {
        const std::string entry(pelorix::trimBlanks(line));
        if (entry.empty())
            continue;
        if (const auto address = parseServerAddress(entry))
            addresses.push_back(address->text());
        else
            ++skipped;
    }
    const int added = store.importServers(addresses);
    if (added < 0)
        return fail("import failed: " + store.lastError());
    const std::size_t alreadyListed = addresses.size() - static_cast<std::size_t>(added);
    std::printf("%d added, %zu already listed, %d lines skipped\n", added, alreadyListed, skipped);
    return 0;
}

int setPassword(MasterStore &store, const Arguments &args)
{
    std::string password;
    if (!args.positional.empty()) {
        password = args.positional.front();
    } else if (!std::getline(std::cin, password)) {
        return fail("no password given", kUsageError);
    }
    if (!password.empty() && password.back() == '\r')
        password.pop_back();
    if (password.empty())
        return fail("the password must not be empty", kUsageError);
    // A NUL byte would end the password early in any client that handles it as a C string.
    if (password.find('\0') != std::string::npos)
        return fail("the password must not contain a NUL byte", kUsageError);
    // The browser puts the password into the query without encoding '?', and a second '?' in a request
    // line is refused by the HTTP layer before the password could be checked.
    if (password.find('?') != std::string::npos)
        return fail("the password must not contain '?'", kUsageError);
    if (!store.setSetting(kKeyPassword, hashPassword(password)))
        return fail("cannot store the password: " + store.lastError());
    return 0;
}

int runCommand(const std::string &command, MasterStore &store, const Arguments &args)
{
    const auto &rest = args.positional;
    if (command == "serve")
        return serve(store, args);
    if (command == "list") {
        std::vector<std::string> servers;
        if (!store.servers(servers))
            return fail("cannot read the list: " + store.lastError());
        for (const auto &address : servers)
            std::printf("%s\n", address.c_str());
        return std::fflush(stdout) == 0 ? 0 : fail("cannot write the list");
    }
    if (command == "set-password")
        return setPassword(store, args);
    if (command == "set-motd") {
        std::string text;
        if (args.has("--file")) {
            if (!pelorix::readWholeFile(args.value("--file"), text))
                return fail("cannot read " + args.value("--file"));
        } else if (rest.size() == 1) {
            text = rest.front();
        } else {
            return fail("set-motd needs TEXT or --file FILE", kUsageError);
        }
        return store.setSetting(kKeyMotd, text) ? 0 : fail(store.lastError());
    }
    if (rest.size() != 1)
        return fail(command + " needs exactly one argument", kUsageError);
    const std::string &argument = rest.front();
    if (command == "set-version") {
        return store.setSetting(kKeyVersion, argument) && store.setSetting(kKeyVersionDate, utcDate())
                   ? 0
                   : fail(store.lastError());
    }
    if (command == "import")
        return importList(store, argument);
    const auto address = parseServerAddress(argument);
    if (command == "add") {
        if (!address)
            return fail("not an address a.b.c.d:port: " + argument, kUsageError);
        switch (store.addServer(address->text())) {
        case MasterStore::AddResult::Added:
            return 0;
        case MasterStore::AddResult::Duplicate:
            return fail(address->text() + " is already listed");
        case MasterStore::AddResult::Failed:
            return fail(store.lastError());
        }
    }
    if (command == "remove") {
        // An entry that is not a valid address is still removed by its exact text.
        const std::string text = address ? address->text() : argument;
        switch (store.removeServer(text)) {
        case MasterStore::RemoveResult::Removed:
            return 0;
        case MasterStore::RemoveResult::NotListed:
            return fail(text + " is not listed");
        case MasterStore::RemoveResult::Failed:
            return fail(store.lastError());
        }
    }
    return fail("unknown command " + command, kUsageError);
}

} // namespace

int main(int argc, char **argv)
{
    const std::vector<std::string> all(argv + 1, argv + argc);
    if (all.empty() || all[0] == "help" || all[0] == "--help" || all[0] == "-h") {
        std::fputs(kUsage, all.empty() ? stderr : stdout);
        return all.empty() ? kUsageError : 0;
    }
    if (all[0] == "--version") {
        std::printf("pelorix-master %s\n", PELORIX_VERSION);
        return 0;
    }
    static const std::set<std::string> commands{"serve",  "list",         "add",         "remove",
                                                "import", "set-password", "set-version", "set-motd"};
    if (!commands.count(all[0]))
        return fail("unknown command " + all[0] + "\n(see pelorix-master --help)", kUsageError);
    Arguments args;
    std::string error;
    if (!parseArguments({all.begin() + 1, all.end()}, args, error))
        return fail(error + "\n(see pelorix-master --help)", kUsageError);

    MasterStore store;
    const std::string path = args.value("--db", "pelorix-master.db");
    // The service answers a request it cannot serve soon rather than hold a worker for the usual wait.
    if (!store.open(path, error, all[0] == "serve" ? 1500 : 5000))
        return fail("cannot open " + path + ": " + error);
    return runCommand(all[0], store, args);
}
