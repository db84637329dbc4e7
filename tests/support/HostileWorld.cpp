#include "support/HostileWorld.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <iterator>

namespace pelorix::test
{

namespace
{

constexpr int kNormalServers = 100;
constexpr int kEachHostile = 3;

const char *const kGameTypes[] = {"Kessrin", "Talvori", "Druvane", "Pellish", "Morvath"};
const char *const kMaps[] = {"Harrowgate", "Saltmarsh",  "Kestrel",   "Ironvale",  "Duskhollow",
                             "Brackwater", "Cinderfall", "Gullspire", "Thornbury", "Frostmere"};
const int kSlots[] = {8, 10, 12, 16, 20, 24, 32};

// A hostile behaviour as the world plays it, and whether its row may be shown.
struct HostileKind {
    const char *kind;
    const char *behaviour;
    bool shown;
    int gapMs;
    int floodMs;
    bool trickleComplete;
};

const HostileKind kHostileKinds[] = {
    // Large datagrams far beyond the reply bound: for seconds, or over before the watchdog could stop the query, so
    // that only the bound keeps the reply out.
    {"flood", "flood", false, 0, 0, false},
    {"short-flood", "flood", false, 0, 400, false},
    // Never an "eof"; or a whole reply that never falls quiet for a window; or one that falls quiet at once.
    {"trickle", "trickle", false, 0, 0, false},
    {"endless-trickle", "trickle", false, 40, 0, true},
    {"slow-trickle", "trickle", true, 1000, 0, true},
    // One whole reply in the largest datagram there is.
    {"oversized", "oversized", true, 0, 0, false},
    {"garbage", "garbage", false, 0, 0, false},
    // The second half of the reply comes from another port and still belongs to it.
    {"second-sender", "second-sender", true, 0, 0, false},
    {"closed", "closed", false, 0, 0, false},
    {"silent", "silent", false, 0, 0, false},
    {"no-eof", "no-eof", false, 0, 0, false},
    {"no-final", "no-final", true, 0, 0, false},
};

std::string lockOf(const std::string &password)
{
    return password == "0" ? " " : "\xC2\xAE"; // the lock mark, in UTF-8
}

void fillValues(WorldServer &server, int i)
{
    server.gametype = kGameTypes[i % std::size(kGameTypes)];
    server.gamevariant = i % 4 == 0 ? "VEKTA 4X" : "VEKTA 4";
    server.gamever = i % 3 == 0 ? "1.0" : "1.1";
    server.mapname = kMaps[(i * 7) % std::size(kMaps)];
    server.password = i % 10 == 0 ? "1" : i % 10 == 5 ? "secret" : "0";
    server.maxplayers = kSlots[i % std::size(kSlots)];
    const int count = (i * 5) % (server.maxplayers + 1);
    for (int k = 0; k < count; ++k)
        server.players.push_back(k % 3 == 0 ? "Old Man " + std::to_string(k) : "Nick" + std::to_string(k));
    server.shownLock = lockOf(server.password);
    server.shownPlayers = std::to_string(count) + "/" + std::to_string(server.maxplayers);
}

WorldServer normalServer(int i)
{
    WorldServer server;
    server.kind = "normal";
    server.behaviour = "normal";
    server.shown = true;
    const std::string n = std::to_string(i + 1);
    if (i % 7 == 0) {
        server.hostname = "[c=00FF00]Green[b] Hall #" + n;
        server.shownName = "Green Hall #" + n;
    } else if (i % 11 == 3) {
        server.hostname = "Caf\xC3\xA9 \xC3\x86r\xC3\xB8 #" + n; // Café Ærø
        server.shownName = server.hostname;
    } else {
        server.hostname = "Normal  server #" + n;
        server.shownName = server.hostname;
    }
    fillValues(server, i);
    server.delayMs = (i * 37) % 290;
    if (i % 6 == 1 || i % 6 == 4) {
        server.split = i % 6 == 1 ? 2 : 3;
        server.gapMs = 40;
    }
    return server;
}

WorldServer hostileServer(const HostileKind &kind, int copy, int i)
{
    WorldServer server;
    server.kind = kind.kind;
    server.behaviour = kind.behaviour;
    server.hostile = true;
    server.shown = kind.shown;
    server.hostname = "Hostile " + std::string(kind.kind) + " #" + std::to_string(copy + 1);
    server.shownName = server.hostname;
    fillValues(server, i);
    server.delayMs = (i * 53) % 200;
    server.gapMs = kind.gapMs;
    server.floodMs = kind.floodMs;
    server.trickleComplete = kind.trickleComplete;
    return server;
}

} // namespace

std::vector<WorldServer> hostileWorld()
{
    std::vector<WorldServer> hostile;
    for (int copy = 0; copy < kEachHostile; ++copy) {
        for (const auto &kind : kHostileKinds)
            hostile.push_back(hostileServer(kind, copy, static_cast<int>(hostile.size())));
    }
    // Every fourth server of the list is a hostile one, until they run out.
    std::vector<WorldServer> world;
    size_t nextHostile = 0;
    for (int i = 0; i < kNormalServers; ++i) {
        if (world.size() % 4 == 2 && nextHostile < hostile.size())
            world.push_back(hostile[nextHostile++]);
        world.push_back(normalServer(i));
    }
    while (nextHostile < hostile.size())
        world.push_back(hostile[nextHostile++]);
    return world;
}

std::string scenarioJson(const std::vector<WorldServer> &world, bool hostilePart, bool hostileAsSilent)
{
    QJsonArray servers;
    for (const auto &server : world) {
        if (server.hostile != hostilePart)
            continue;
        QJsonObject object;
        object.insert(QStringLiteral("hostname"), QString::fromStdString(server.hostname));
        object.insert(QStringLiteral("gametype"), QString::fromStdString(server.gametype));
        object.insert(QStringLiteral("gamevariant"), QString::fromStdString(server.gamevariant));
        object.insert(QStringLiteral("gamever"), QString::fromStdString(server.gamever));
        object.insert(QStringLiteral("mapname"), QString::fromStdString(server.mapname));
        object.insert(QStringLiteral("password"), QString::fromStdString(server.password));
        object.insert(QStringLiteral("maxplayers"), server.maxplayers);
        QJsonArray players;
        for (size_t k = 0; k < server.players.size(); ++k) {
            players.append(QJsonObject{{QStringLiteral("name"), QString::fromStdString(server.players[k])},
                                       {QStringLiteral("score"), static_cast<int>(k) * 2},
                                       {QStringLiteral("ping"), 20 + static_cast<int>(k) * 9}});
        }
        object.insert(QStringLiteral("players"), players);
        object.insert(QStringLiteral("delayMs"), server.delayMs);
        if (server.split > 1)
            object.insert(QStringLiteral("split"), server.split);
        if (server.gapMs > 0)
            object.insert(QStringLiteral("gapMs"), server.gapMs);
        if (server.floodMs > 0)
            object.insert(QStringLiteral("floodMs"), server.floodMs);
        if (server.floodBurst > 0)
            object.insert(QStringLiteral("floodBurst"), server.floodBurst);
        if (server.trickleComplete)
            object.insert(QStringLiteral("trickleComplete"), true);
        object.insert(QStringLiteral("behaviour"),
                      QString::fromStdString(server.hostile && hostileAsSilent ? "silent" : server.behaviour));
        servers.append(object);
    }
    const QJsonObject root{{QStringLiteral("seed"), 9}, {QStringLiteral("servers"), servers}};
    return QJsonDocument(root).toJson(QJsonDocument::Compact).toStdString();
}

std::vector<std::string> worldAddresses(const std::vector<WorldServer> &world, const std::vector<std::string> &normal,
                                        const std::vector<std::string> &hostile)
{
    std::vector<std::string> addresses;
    size_t nextNormal = 0;
    size_t nextHostile = 0;
    for (const auto &server : world) {
        const auto &part = server.hostile ? hostile : normal;
        size_t &next = server.hostile ? nextHostile : nextNormal;
        if (next >= part.size())
            return {};
        addresses.push_back(part[next++]);
    }
    if (nextNormal != normal.size() || nextHostile != hostile.size())
        return {};
    return addresses;
}

std::string masterListText(const std::vector<std::string> &addresses)
{
    std::string text;
    for (const auto &address : addresses)
        text += address + "\r\n";
    return text + "END\r\n";
}

} // namespace pelorix::test
