// pelorix-cli update: the window's "Update single" exchange with one server, then the cells it would write into
// that server's row.
#include "Commands.h"
#include "Json.h"

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

// A server's text may hold tabs and line breaks, which would break the one-line form.
std::string plainCell(std::string text)
{
    for (char &c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            c = ' ';
    }
    return cp1252ToUtf8(text);
}

int runUpdate(const std::vector<std::string> &args)
{
    bool json = false;
    std::string address;
    for (const auto &arg : args) {
        if (arg == "--json") {
            json = true;
        } else if (address.empty() && !arg.empty() && arg[0] != '-') {
            address = utf8ToCp1252(arg);
        } else {
            std::fprintf(stderr, "pelorix-cli update: unexpected argument '%s'\nusage: pelorix-cli %s\n", arg.c_str(),
                         kUsage);
            return kUsageError;
        }
    }
    if (address.empty()) {
        std::fprintf(stderr, "usage: pelorix-cli %s\n", kUsage);
        return kUsageError;
    }

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
            line += (k ? "\t" : "") + plainCell(row[k]);
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
