// pelorix-cli update: the window's "Update single" exchange with one server, then the cells it would write into
// that server's row.
#include "Commands.h"
#include "Json.h"
#include "Output.h"

#include "core/EventPump.h"
#include "core/Text.h"
#include "view/SingleUpdate.h"

#include <cstdio>

namespace pelorix::cli
{

namespace
{

constexpr int kUsageError = 64;
constexpr int kNoAnswer = 1;

const char *const kUsage = "update ADDRESS [--json]";

int runUpdate(const std::vector<std::string> &args)
{
    const auto parsed = ParseAddressArguments("update", kUsage, args);
    if (!parsed)
        return kUsageError;
    const bool json = parsed->json;
    const std::string &address = parsed->address;

    SleepingEventPump pump;
    std::string portError;
    const auto cells = QuerySingleServer(address, pump, &portError);
    if (!cells) {
        std::fprintf(stderr, "error: %s\n", cp1252ToUtf8(portError).c_str());
        return kUsageError;
    }
    const auto row = RowCellsAfterUpdate(*cells);
    if (json) {
        static const char *const kKeys[] = {"lock", "name", "players", "ping", "gametype", "map", "variant", "version"};
        std::string out = "{";
        for (size_t k = 0; k < row.size(); ++k) {
            out += k ? ",\"" : "\"";
            out += kKeys[k];
            out += "\":";
            appendJsonString(out, row[k]);
        }
        out += ",\"answered\":";
        out += cells->answered ? "true" : "false";
        out += "}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        std::string line;
        for (size_t k = 0; k < row.size(); ++k)
            line += (k ? "\t" : "") + TerminalText(row[k]);
        std::printf("%s\n", line.c_str());
    }
    std::fflush(stdout);
    return cells->answered ? 0 : kNoAnswer;
}

const bool registered = registerCommand(
    "update", runUpdate,
    std::string(kUsage) + "\n"
                          "                  Ask one server (host:port) for its status as Update single\n"
                          "                  does (2000 ms for the first datagram, follow-ups while \"final\"\n"
                          "                  is missing) and print the cells the window would write into its\n"
                          "                  row, parted by tabs: lock, name, players, ping, game type, map,\n"
                          "                  variant and version. A server that does not answer gives the\n"
                          "                  row of the default reply (N/A, ?/?) and exit status 1.\n"
                          "  --json          one object with those keys and \"answered\"");

} // namespace

} // namespace pelorix::cli
