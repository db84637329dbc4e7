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

namespace {

constexpr int kUsageError = 64;

const char *const kUsage = R"(usage: pelorix-master COMMAND [OPTIONS] [ARGS]

commands:
  serve [--listen ADDR] [--port N] [--installer FILE] [--public-address HOST[:PORT]]
        [--allow-private] [--allow-loopback] [--no-check] [--status-timeout MS]
        [--threads N] [--workers N] [--max-connections N] [--max-client-connections N]
        [--request-timeout S] [--idle-timeout S] [--password-checks N] [--no-access-log]
                          run the web service (default 127.0.0.1:8480; port 0 picks a free one);
                          an access log line per request goes to standard error
  list                    print the listed servers, one a line
  add HOST:PORT           list a server (no status check)
  remove HOST:PORT        take a server off the list
  import FILE             list every address of a plain list, one a line (other lines are skipped)
  set-password [PW]       set the administrator password (read from standard input when not given)
  set-version TEXT        set the newest version the service announces
  set-motd TEXT | --file FILE
                          set the message of the day

every command takes --db PATH (default: ./pelorix-master.db)
)";

struct Arguments
{
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
    struct Count
    {
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
            return fail(std::string(count.name) + " must be a number from " + std::to_string(count.minimum) + " to "
                            + std::to_string(count.maximum),
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
    static const std::set<std::string> commands{"serve",        "list",        "add",     "remove", "import",
                                                "set-password", "set-version", "set-motd"};
    if (!commands.count(all[0]))
        return fail("unknown command " + all[0] + "\n" + kUsage, kUsageError);
    Arguments args;
    std::string error;
    if (!parseArguments({all.begin() + 1, all.end()}, args, error))
        return fail(error + "\n" + kUsage, kUsageError);

    MasterStore store;
    const std::string path = args.value("--db", "pelorix-master.db");
    // The service answers a request it cannot serve soon rather than hold a worker for the usual wait.
    if (!store.open(path, error, all[0] == "serve" ? 1500 : 5000))
        return fail("cannot open " + path + ": " + error);
    return runCommand(all[0], store, args);
}
