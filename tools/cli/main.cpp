// pelorix-cli: the command-line browser. Each subcommand lives in its own file and registers itself.
#include "Commands.h"

#include "core/MasterHost.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>
#include <string>

namespace pelorix::cli
{

std::map<std::string, CommandInfo> &commandRegistry()
{
    static std::map<std::string, CommandInfo> registry;
    return registry;
}

bool registerCommand(const std::string &name, Command run, const std::string &usage)
{
    commandRegistry()[name] = CommandInfo{std::move(run), usage};
    return true;
}

} // namespace pelorix::cli

namespace
{

// The manual page is made from this text (help2man), so it says everything the page should.
const char *const kIntroduction = R"(Usage: pelorix-cli COMMAND [ARGS...]

The command-line browser of Pelorix: the window's refresh, web client and settings store, without
a display. A message the window would show goes to standard error; a question gets its default
answer.

Commands:
)";

const char *const kClosing = R"(  -h, --help, help  print this text and exit
  --version         print the version and exit

JSON:
  refresh --json prints one object with these members:

  rows              one object a row, with the texts lock, name, players, ping, gametype,
                    map, address, variant and version, and join (true or false)
  players_label, servers_label, total_label
                    the window's statistics lines, as texts
  offline_cache     true when the list came from cache.dat
  player_found_at   the server where --find found the player, or null
  messages          every message the refresh showed, in order, as texts

Exit status:
  0    done (update, players: the server answered)
  1    settings set: the settings file could not be written; update, players: the
       server did not answer; join, wait: the join ended without starting the
       game (its message on standard error); add: the server was not added;
       delete: the server was not deleted (a refused password, "Locked!" or no answer)
  2    refresh: no server list (neither the service nor cache.dat gave one)
  3    refresh: the refresh ended on a fault (the message "Error: #")
  64   a bad command line

Files:
  ${XDG_CONFIG_HOME:-~/.config}/PELORIX/PELORIX.reg
                    the settings, shared with the window
  FOLDER/cache.dat, FOLDER/white_list.txt
                    the offline list and the white list of the program folder:
                    $PELORIX_HOME when it is set; for an installed copy
                    ${XDG_DATA_HOME:-~/.local/share}/pelorix; otherwise the
                    executable's own folder

Environment:
  PELORIX_HOME      the program folder
  PELORIX_WINE      join, wait: the command that runs a Windows game (default: wine)
  WINEPREFIX        join, wait: the game's Wine prefix; when unset, the folder above the
                    drive_c that holds the game
  PELORIX_MASTER_HOST
                    host:port of the master-list service (default: @MASTER_HOST@)
)";

void printUsage(std::FILE *out)
{
    std::fputs(kIntroduction, out);
    for (const auto &[name, info] : pelorix::cli::commandRegistry()) {
        std::size_t start = 0;
        while (start < info.usage.size()) {
            const std::size_t end = std::min(info.usage.find('\n', start), info.usage.size());
            std::fprintf(out, "  %s\n", info.usage.substr(start, end - start).c_str());
            start = end + 1;
        }
    }
    std::string closing = kClosing;
    const std::string placeholder = "@MASTER_HOST@";
    closing.replace(closing.find(placeholder), placeholder.size(), pelorix::DefaultMasterHost());
    std::fputs(closing.c_str(), out);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        printUsage(args.empty() ? stderr : stdout);
        return args.empty() ? 64 : 0;
    }
    if (args[0] == "--version") {
        std::printf("pelorix-cli %s\n", PELORIX_VERSION);
        return 0;
    }
    auto &registry = pelorix::cli::commandRegistry();
    const auto it = registry.find(args[0]);
    if (it == registry.end()) {
        std::fprintf(stderr, "pelorix-cli: unknown command '%s'\n(see pelorix-cli --help)\n", args[0].c_str());
        return 64;
    }
    args.erase(args.begin());
    return it->second.run(args);
}
