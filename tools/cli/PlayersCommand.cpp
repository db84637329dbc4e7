// pelorix-cli players: the window's "Show players" for one server.
#include "Commands.h"
#include "Json.h"
#include "Output.h"

#include "core/EventPump.h"
#include "core/Text.h"
#include "view/PlayerList.h"

#include <cstdio>

namespace pelorix::cli
{

namespace
{

constexpr int kUsageError = 64;
constexpr int kNoAnswer = 1;

const char *const kUsage = "players ADDRESS [--json]";

int runPlayers(const std::vector<std::string> &args)
{
    const auto parsed = ParseAddressArguments("players", kUsage, args);
    if (!parsed)
        return kUsageError;
    const bool json = parsed->json;
    const std::string &address = parsed->address;

    SleepingEventPump pump;
    int followUps = 0;
    std::string portError;
    const auto result = QueryPlayerList(address, pump, followUps, &portError);
    if (!result) {
        std::fprintf(stderr, "error: %s\n", cp1252ToUtf8(portError).c_str());
        return kUsageError;
    }
    if (result->failed)
        std::fprintf(stderr, "error: Error getting info.\n");
    if (json) {
        std::string out = "{\"players\":[";
        for (size_t k = 0; k < result->players.size(); ++k) {
            const PlayerEntry &player = result->players[k];
            out += k ? ",{\"name\":" : "{\"name\":";
            appendJsonString(out, player.name);
            out += ",\"score\":";
            if (player.score)
                appendJsonString(out, *player.score);
            else
                out += "null";
            out += '}';
        }
        out += "],\"answered\":";
        out += result->answered ? "true" : "false";
        out += "}\n";
        std::fputs(out.c_str(), stdout);
    } else {
        // The message box's text, its CR LF breaks as the terminal's LF.
        // Control characters in a name become blanks.
        std::fputs(TerminalText(PlayerListText(result->players), true).c_str(), stdout);
    }
    std::fflush(stdout);
    return result->answered ? 0 : kNoAnswer;
}

const bool registered = registerCommand(
    "players", runPlayers,
    std::string(kUsage) + "\n"
                          "                  Ask one server (host:port) for its players as Show players does\n"
                          "                  and print the list the window shows: \"Player list:\", an empty\n"
                          "                  line, then NAME | Score: SCORE a line (\"?\" for a missing score).\n"
                          "                  A server that does not answer gives the empty list and exit\n"
                          "                  status 1.\n"
                          "  --json          {\"players\":[{\"name\":...,\"score\":...}],\"answered\":...}; a\n"
                          "                  missing score is null");

} // namespace

} // namespace pelorix::cli
