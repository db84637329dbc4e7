// pelorix-cli refresh end to end: pelorix-gamesim servers, listed by pelorix-master, refreshed by the cli.
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <algorithm>
#include <chrono>
#include <set>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

constexpr int kServers = 40;

// One simulated world for all tests: kServers servers answering after 20 ms, listed by a master service.
class CliRefreshTest : public ::testing::Test
{
  protected:
    static void SetUpTestSuite() { s_world = new World; }
    static void TearDownTestSuite()
    {
        delete s_world;
        s_world = nullptr;
    }

    struct World {
        World()
        {
            const std::string listFile = dir.file("list.txt");
            gamesim = std::make_unique<ChildProcess>(
                PELORIX_GAMESIM_BIN, std::vector<std::string>{"--generate", std::to_string(kServers), "--delay", "20",
                                                              "--base-port", "0", "--master-list-file", listFile});
            for (int i = 0; i < 200 && !readWholeFile(listFile, listText); ++i)
                std::this_thread::sleep_for(50ms);
            for (const auto &line : splitLines(listText)) {
                if (line != "END")
                    addresses.insert(line);
            }
            const std::string db = dir.file("master.db");
            test::runProcess(PELORIX_MASTER_BIN, {"import", listFile, "--db", db});
            masterPort = test::freeTcpPort();
            master = std::make_unique<ChildProcess>(
                PELORIX_MASTER_BIN, std::vector<std::string>{"serve", "--port", std::to_string(masterPort),
                                                             "--allow-loopback", "--no-check", "--db", db});
            test::waitForTcpPort(masterPort);
        }
        TempDir dir;
        std::string listText;
        std::set<std::string> addresses;
        int masterPort = 0;
        std::unique_ptr<ChildProcess> gamesim;
        std::unique_ptr<ChildProcess> master;
    };

    struct Run {
        int status = -1;
        std::string out;
        std::string err;
        QJsonObject json;
    };

    // Runs pelorix-cli refresh with the program folder home and the master service at host.
    Run refresh(const std::vector<std::string> &args, const std::string &home, const std::string &host)
    {
        Run run;
        std::vector<std::string> all{"refresh"};
        all.insert(all.end(), args.begin(), args.end());
        run.status = test::runProcess(PELORIX_CLI_BIN, all, &run.out, &run.err,
                                      {{"PELORIX_HOME", home}, {"PELORIX_MASTER_HOST", host}}, 60s);
        if (std::find(args.begin(), args.end(), "--json") != args.end()) {
            QJsonParseError error{};
            const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
            EXPECT_EQ(error.error, QJsonParseError::NoError) << run.out;
            run.json = doc.object();
        }
        return run;
    }
    std::string masterHost() const { return "127.0.0.1:" + std::to_string(s_world->masterPort); }
    static std::string text(const QJsonValue &value) { return value.toString().toStdString(); }

    static World *s_world;
    TempDir home;
};

CliRefreshTest::World *CliRefreshTest::s_world = nullptr;

TEST_F(CliRefreshTest, JsonHasEveryServerAndTheLabels)
{
    ASSERT_EQ(s_world->addresses.size(), static_cast<size_t>(kServers));
    const Run run = refresh({"--json"}, home.path(), masterHost());
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonArray rows = run.json.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), kServers);
    std::set<std::string> seen;
    int players = 0;
    for (const auto &value : rows) {
        const QJsonObject row = value.toObject();
        EXPECT_EQ(row.size(), 10);
        seen.insert(text(row.value(QStringLiteral("address"))));
        const std::string lock = text(row.value(QStringLiteral("lock")));
        EXPECT_TRUE(lock == " " || lock == "\xC2\xAE") << lock; // the lock mark, converted to UTF-8
        EXPECT_FALSE(text(row.value(QStringLiteral("name"))).empty());
        int ping = -1;
        ASSERT_TRUE(parseInt32(text(row.value(QStringLiteral("ping"))), ping));
        EXPECT_GE(ping, 15);
        EXPECT_LT(ping, 800);
        const std::string count = text(row.value(QStringLiteral("players")));
        int n = 0;
        ASSERT_TRUE(parseInt32(count.substr(0, count.find('/')), n)) << count;
        players += n;
        EXPECT_FALSE(row.value(QStringLiteral("join")).toBool());
    }
    EXPECT_EQ(seen, s_world->addresses);
    EXPECT_EQ(text(run.json.value(QStringLiteral("total_label"))), "Total server count: " + std::to_string(kServers));
    EXPECT_EQ(text(run.json.value(QStringLiteral("servers_label"))), "Servers online:\t" + std::to_string(kServers));
    EXPECT_EQ(text(run.json.value(QStringLiteral("players_label"))), "Players online:\t" + std::to_string(players));
    EXPECT_FALSE(run.json.value(QStringLiteral("offline_cache")).toBool());
    EXPECT_TRUE(run.json.value(QStringLiteral("player_found_at")).isNull());
    EXPECT_TRUE(run.json.value(QStringLiteral("messages")).toArray().isEmpty());

    // The list was kept as cache.dat in the program folder, as the service sent it: the addresses, then a line
    // that is not one, each followed by CR LF.
    std::string cache;
    ASSERT_TRUE(readWholeFile(home.file("cache.dat"), cache));
    auto lines = splitLines(cache);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kServers + 1));
    EXPECT_EQ(s_world->addresses.count(lines.back()), 0u);
    lines.pop_back();
    EXPECT_EQ(std::set<std::string>(lines.begin(), lines.end()), s_world->addresses);
    EXPECT_EQ(cache.substr(cache.size() - 2), "\r\n");
}

TEST_F(CliRefreshTest, PlainOutputHasTenTabSeparatedCellsPerRow)
{
    const Run run = refresh({}, home.path(), masterHost());
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kServers));
    for (const auto &line : lines) {
        EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 9) << line;
        EXPECT_EQ(line.substr(line.rfind('\t') + 1), "0");
    }
}

TEST_F(CliRefreshTest, OfflineCacheAndUnansweredRows)
{
    // The service is unreachable; cache.dat lists the servers and one port where nothing answers.
    std::string cache;
    for (const auto &address : s_world->addresses)
        cache += address + "\r\n";
    cache += "127.0.0.1:" + std::to_string(test::freeUdpPort()) + "\r\nEND\r\n";
    ASSERT_TRUE(writeFileAtomically(home.file("cache.dat"), cache));
    const std::string unreachable = "127.0.0.1:" + std::to_string(test::freeTcpPort());

    const Run hidden = refresh({"--json"}, home.path(), unreachable);
    ASSERT_EQ(hidden.status, 0) << hidden.err;
    EXPECT_TRUE(hidden.json.value(QStringLiteral("offline_cache")).toBool());
    EXPECT_EQ(text(hidden.json.value(QStringLiteral("total_label"))),
              "Total server count: " + std::to_string(kServers + 1));
    EXPECT_EQ(hidden.json.value(QStringLiteral("rows")).toArray().size(), kServers);

    const Run kept = refresh({"--json", "--keep-unanswered"}, home.path(), unreachable);
    ASSERT_EQ(kept.status, 0) << kept.err;
    const QJsonArray rows = kept.json.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), kServers + 1);
    // The unanswered server's placeholder row stays at the end, without an address.
    const QJsonObject last = rows.last().toObject();
    EXPECT_EQ(text(last.value(QStringLiteral("name"))), "?");
    EXPECT_EQ(text(last.value(QStringLiteral("ping"))), "?");
    EXPECT_EQ(text(last.value(QStringLiteral("address"))), "");
    // cache.dat was rewritten from itself, unchanged.
    std::string after;
    ASSERT_TRUE(readWholeFile(home.file("cache.dat"), after));
    EXPECT_EQ(after, cache);
}

TEST_F(CliRefreshTest, FindReportsTheFirstVisibleMatchInHandlingOrder)
{
    // Every reply holds the key "hostname": the row pass reports the first row it handles, the table's last.
    const Run run = refresh({"--json", "--find", "HOSTNAME"}, home.path(), masterHost());
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonArray rows = run.json.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), kServers);
    const std::string lastName = text(rows.last().toObject().value(QStringLiteral("name")));
    EXPECT_EQ(text(run.json.value(QStringLiteral("player_found_at"))), lastName);
    const QJsonArray messages = run.json.value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(text(messages[0]), "Player \"HOSTNAME\" was found at server: " + lastName);
    EXPECT_NE(run.err.find("was found at server"), std::string::npos);
}

TEST_F(CliRefreshTest, NoListAtAllEndsWithStatusTwo)
{
    const std::string unreachable = "127.0.0.1:" + std::to_string(test::freeTcpPort());
    const Run run = refresh({"--json"}, home.path(), unreachable);
    EXPECT_EQ(run.status, 2);
    const std::string expected =
        "Cache file is missing, unable to use PELORIX offline.\r\nfile: " + home.path() + "cache.dat";
    const QJsonArray messages = run.json.value(QStringLiteral("messages")).toArray();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_EQ(text(messages[0]), expected);
    EXPECT_NE(run.err.find("Cache file is missing"), std::string::npos);
    EXPECT_TRUE(run.json.value(QStringLiteral("rows")).toArray().isEmpty());
    EXPECT_EQ(text(run.json.value(QStringLiteral("total_label"))), "Total server count: N/A");
}

// A small world whose every value is known: the table holds exactly what the servers said, colour codes
// stripped, in the order the answers came, without the silent and the closed server.
TEST_F(CliRefreshTest, ExactRowsOfAKnownWorld)
{
    TempDir world;
    const std::string scenario = R"({"seed": 3, "servers": [
{"hostname": "[c=FF0000]Red [b]Fort", "gametype": "Kessrin", "gamevariant": "VEKTA 4X", "gamever": "1.0",
 "mapname": "Harrowgate", "password": "1", "maxplayers": 12, "delayMs": 10,
 "players": [{"name": "Ada", "score": 3, "ping": 40}, {"name": "Bo", "score": 1, "ping": 90}]},
{"hostname": "silent one", "behaviour": "silent"},
{"hostname": "Plain Hall", "gametype": "Talvori", "gamevariant": "VEKTA 4", "gamever": "1.1",
 "mapname": "Deepwell", "password": "0", "maxplayers": 8, "delayMs": 110, "players": []},
{"hostname": "closed one", "behaviour": "closed"},
{"hostname": "Full House", "gametype": "Pellish", "gamevariant": "VEKTA 4", "gamever": "1.1",
 "mapname": "Ironvale", "password": "0", "maxplayers": 2, "delayMs": 60,
 "players": [{"name": "Cy", "score": 0, "ping": 20}, {"name": "Di", "score": 5, "ping": 30}]}
]})";
    ASSERT_TRUE(writeFileAtomically(world.file("world.json"), scenario));
    const std::string portFile = world.file("ports.txt");
    const std::string listFile = world.file("list.txt");
    ChildProcess gamesim(PELORIX_GAMESIM_BIN, {world.file("world.json"), "--base-port", "0", "--port-file", portFile,
                                               "--master-list-file", listFile});
    std::string ports;
    for (int i = 0; i < 200 && !readWholeFile(listFile, ports); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(readWholeFile(portFile, ports));
    const std::vector<std::string> address = splitLines(ports); // in scenario order
    ASSERT_EQ(address.size(), 5u);

    const std::string db = world.file("master.db");
    ASSERT_EQ(test::runProcess(PELORIX_MASTER_BIN, {"import", listFile, "--db", db}), 0);
    const int port = test::freeTcpPort();
    ChildProcess master(PELORIX_MASTER_BIN,
                        {"serve", "--port", std::to_string(port), "--allow-loopback", "--no-check", "--db", db});
    test::waitForTcpPort(port);

    const Run run = refresh({"--json"}, home.path(), "127.0.0.1:" + std::to_string(port));
    ASSERT_EQ(run.status, 0) << run.err;
    const QJsonArray rows = run.json.value(QStringLiteral("rows")).toArray();
    ASSERT_EQ(rows.size(), 3) << run.out;

    struct Row {
        std::string lock, name, players, gametype, map, address, variant, version;
        int delayMs;
    };
    // In answer order: the shortest delay first.
    const Row expected[] = {
        {"\xC2\xAE", "Red Fort", "2/12", "Kessrin", "Harrowgate", address[0], "VEKTA 4X", "1.0", 10},
        {" ", "Full House", "2/2", "Pellish", "Ironvale", address[4], "VEKTA 4", "1.1", 60},
        {" ", "Plain Hall", "0/8", "Talvori", "Deepwell", address[2], "VEKTA 4", "1.1", 110},
    };
    for (int i = 0; i < 3; ++i) {
        const QJsonObject row = rows[i].toObject();
        const Row &want = expected[i];
        SCOPED_TRACE(want.name);
        EXPECT_EQ(text(row.value(QStringLiteral("lock"))), want.lock);
        EXPECT_EQ(text(row.value(QStringLiteral("name"))), want.name);
        EXPECT_EQ(text(row.value(QStringLiteral("players"))), want.players);
        EXPECT_EQ(text(row.value(QStringLiteral("gametype"))), want.gametype);
        EXPECT_EQ(text(row.value(QStringLiteral("map"))), want.map);
        EXPECT_EQ(text(row.value(QStringLiteral("address"))), want.address);
        EXPECT_EQ(text(row.value(QStringLiteral("variant"))), want.variant);
        EXPECT_EQ(text(row.value(QStringLiteral("version"))), want.version);
        EXPECT_FALSE(row.value(QStringLiteral("join")).toBool());
        int ping = -1;
        ASSERT_TRUE(parseInt32(text(row.value(QStringLiteral("ping"))), ping));
        EXPECT_GE(ping, want.delayMs);
        EXPECT_LT(ping, want.delayMs + 100);
    }
    EXPECT_EQ(text(run.json.value(QStringLiteral("players_label"))), "Players online:\t4");
    EXPECT_EQ(text(run.json.value(QStringLiteral("servers_label"))), "Servers online:\t3");
    EXPECT_EQ(text(run.json.value(QStringLiteral("total_label"))), "Total server count: 5");
    EXPECT_TRUE(run.json.value(QStringLiteral("messages")).toArray().isEmpty());
}

// A name in quotes may hold a tab and a line break; the plain form still gives one line of ten cells a row.
TEST_F(CliRefreshTest, PlainRowsStayOneLineOfTenCellsWhateverTheServerSends)
{
    TempDir world;
    ASSERT_TRUE(writeFileAtomically(world.file("world.json"),
                                    R"({"servers": [{"hostname": "\"Tab\there\nand\rthere\"", "maxplayers": 8}]})"));
    const std::string listFile = world.file("list.txt");
    ChildProcess gamesim(PELORIX_GAMESIM_BIN,
                         {world.file("world.json"), "--base-port", "0", "--master-list-file", listFile});
    std::string list;
    for (int i = 0; i < 200 && !readWholeFile(listFile, list); ++i)
        std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(writeFileAtomically(home.file("cache.dat"), list));

    const Run run = refresh({}, home.path(), "127.0.0.1:" + std::to_string(test::freeTcpPort()));
    ASSERT_EQ(run.status, 0) << run.err;
    const auto lines = splitLines(run.out);
    ASSERT_EQ(lines.size(), 1u) << run.out;
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 9) << lines[0];
    EXPECT_NE(lines[0].find("\tTab here and there\t"), std::string::npos) << lines[0];
}

TEST_F(CliRefreshTest, UnknownArgumentIsAUsageError)
{
    const Run run = refresh({"--bogus"}, home.path(), masterHost());
    EXPECT_EQ(run.status, 64);
    EXPECT_NE(run.err.find("usage"), std::string::npos);
}

} // namespace
} // namespace pelorix
