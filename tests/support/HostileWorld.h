#pragma once

#include <string>
#include <vector>

namespace pelorix::test
{

// One simulated server of the hostile world, with what the browser may legitimately show of it.
struct WorldServer {
    std::string kind;      // "normal", or the hostile part it plays ("flood", "short-flood", "trickle", ...)
    std::string behaviour; // the simulator's behaviour that plays it
    bool hostile = false;
    bool shown = false; // the browser shows its row, with exactly the values below

    // What the server sends (UTF-8; the simulator puts it on the wire as Windows-1252).
    std::string hostname;
    std::string gametype;
    std::string gamevariant;
    std::string gamever;
    std::string mapname;
    std::string password;
    int maxplayers = 0;
    std::vector<std::string> players;
    int delayMs = 0;
    int split = 1;
    int gapMs = 0;      // 0: the simulator's default for the behaviour
    int floodMs = 0;    // 0: the simulator's default
    int floodBurst = 0; // 0: the simulator's default
    bool trickleComplete = false;

    // The row the browser shows for it (UTF-8, colour codes removed).
    std::string shownLock;
    std::string shownName;
    std::string shownPlayers;
};

// 100 normal servers of known values, answering after 0 to 290 ms, some in several datagrams, with three servers
// of every hostile behaviour mixed in among them, in master-list order.
std::vector<WorldServer> hostileWorld();

// One part of the world as a pelorix-gamesim scenario, in world order: its normal servers, or its hostile ones (with
// hostileAsSilent every one of them silent instead). The two parts run in simulators of their own, as servers on
// different machines would: a flooding server cannot hold up the replies of the others.
std::string scenarioJson(const std::vector<WorldServer> &world, bool hostilePart, bool hostileAsSilent = false);

// The addresses of the whole world, in world order, from those of its normal and of its hostile part (each in
// world order, as the simulators' port files give them); empty when the counts do not fit the world.
std::vector<std::string> worldAddresses(const std::vector<WorldServer> &world, const std::vector<std::string> &normal,
                                        const std::vector<std::string> &hostile);

// The master-list text of the addresses: each followed by CR LF, then the closing line "END".
std::string masterListText(const std::vector<std::string> &addresses);

} // namespace pelorix::test
