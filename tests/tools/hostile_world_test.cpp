// pelorix-cli refresh of a world where every fourth server misbehaves (floods, trickles, oversized and garbage
// datagrams, a second sender, a closed port, silence, replies without "final" or "eof"): every well-behaved server
// is shown exactly as it answered, and a misbehaving one only when its reply holds up.
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/HostileWorld.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <map>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;
using test::WorldServer;

// A ping is measured from the query's send to the kernel's receive stamp of the first datagram, so it exceeds the
// server's delay only by the loopback trip and the simulator's lateness; this leaves room for a busy machine.
constexpr int kPingSlackMs = 250;

std::string text(const QJsonValue &value)
{
    return value.toString().toStdString();
}

// One simulator playing one part of the world; its addresses in scenario order once every socket is bound.
struct Part {
    Part(const TempDir &dir, const std::string &name, const std::string &scenario)
    {
        const std::string portFile = dir.file(name + ".ports");
        EXPECT_TRUE(writeFileAtomically(dir.file(name + ".json"), scenario));
        process = std::make_unique<ChildProcess>(
            PELORIX_GAMESIM_BIN,
            std::vector<std::string>{dir.file(name + ".json"), "--base-port", "0", "--port-file", portFile});
        for (int i = 0; i < 400 && process->running() && process->stdoutText().find("READY") == std::string::npos; ++i)
            std::this_thread::sleep_for(50ms);
        std::string ports;
        if (process->stdoutText().find("READY") != std::string::npos && readWholeFile(portFile, ports))
            addresses = splitLines(ports);
        else
            ADD_FAILURE() << name << ": " << process->stderrText();
    }
    std::unique_ptr<ChildProcess> process;
    std::vector<std::string> addresses;
};

TEST(HostileWorld, NormalServersShowExactlyAndHostileOnesOnlyWhatTheirRepliesHold)
{
    const std::vector<WorldServer> world = test::hostileWorld();
    TempDir dir;
    const Part normal(dir, "normal", test::scenarioJson(world, false));
    const Part hostile(dir, "hostile", test::scenarioJson(world, true));
    const std::vector<std::string> address = test::worldAddresses(world, normal.addresses, hostile.addresses);
    ASSERT_EQ(address.size(), world.size());
    const std::string listFile = dir.file("list.txt");
    ASSERT_TRUE(writeFileAtomically(listFile, test::masterListText(address)));

    const std::string db = dir.file("master.db");
    ASSERT_EQ(test::runProcess(PELORIX_MASTER_BIN, {"import", listFile, "--db", db}), 0);
    const int masterPort = test::freeTcpPort();
    ChildProcess master(PELORIX_MASTER_BIN,
                        {"serve", "--port", std::to_string(masterPort), "--allow-loopback", "--no-check", "--db", db});
    ASSERT_TRUE(test::waitForTcpPort(masterPort));

    // A generous bound on the whole refresh, so that a server that never stops sending cannot hang the test.
    TempDir home;
    std::string out;
    std::string err;
    const int status = test::runProcess(
        PELORIX_CLI_BIN, {"refresh", "--json"}, &out, &err,
        {{"PELORIX_HOME", home.path()}, {"PELORIX_MASTER_HOST", "127.0.0.1:" + std::to_string(masterPort)}}, 120s);
    ASSERT_EQ(status, 0) << err;
    QJsonParseError parseError{};
    const QJsonObject json = QJsonDocument::fromJson(QByteArray::fromStdString(out), &parseError).object();
    ASSERT_EQ(parseError.error, QJsonParseError::NoError) << out;

    std::map<std::string, QJsonObject> rowByAddress;
    std::map<std::string, int> rowsByName;
    const QJsonArray rows = json.value(QStringLiteral("rows")).toArray();
    for (const auto &value : rows) {
        const QJsonObject row = value.toObject();
        EXPECT_TRUE(rowByAddress.emplace(text(row.value(QStringLiteral("address"))), row).second)
            << "address shown twice: " << text(row.value(QStringLiteral("address")));
        ++rowsByName[text(row.value(QStringLiteral("name")))];
    }

    int shown = 0;
    int players = 0;
    for (size_t i = 0; i < world.size(); ++i) {
        const WorldServer &server = world[i];
        SCOPED_TRACE(server.kind + " " + server.hostname + " at " + address[i]);
        const auto found = rowByAddress.find(address[i]);
        if (!server.shown) {
            EXPECT_TRUE(found == rowByAddress.end())
                << "shown as " << text(found->second.value(QStringLiteral("name")));
            EXPECT_EQ(rowsByName.count(server.shownName), 0u);
            continue;
        }
        ++shown;
        players += static_cast<int>(server.players.size());
        if (found == rowByAddress.end()) {
            ADD_FAILURE() << "not shown";
            continue;
        }
        const QJsonObject &row = found->second;
        EXPECT_EQ(text(row.value(QStringLiteral("lock"))), server.shownLock);
        EXPECT_EQ(text(row.value(QStringLiteral("name"))), server.shownName);
        EXPECT_EQ(text(row.value(QStringLiteral("players"))), server.shownPlayers);
        EXPECT_EQ(text(row.value(QStringLiteral("gametype"))), server.gametype);
        EXPECT_EQ(text(row.value(QStringLiteral("map"))), server.mapname);
        EXPECT_EQ(text(row.value(QStringLiteral("variant"))), server.gamevariant);
        EXPECT_EQ(text(row.value(QStringLiteral("version"))), server.gamever);
        EXPECT_FALSE(row.value(QStringLiteral("join")).toBool());
        int ping = -1;
        EXPECT_TRUE(parseInt32(text(row.value(QStringLiteral("ping"))), ping))
            << text(row.value(QStringLiteral("ping")));
        EXPECT_GE(ping, server.delayMs);
        EXPECT_LE(ping, server.delayMs + kPingSlackMs);
    }
    EXPECT_EQ(rows.size(), shown);
    EXPECT_EQ(text(json.value(QStringLiteral("total_label"))), "Total server count: " + std::to_string(world.size()));
    EXPECT_EQ(text(json.value(QStringLiteral("servers_label"))), "Servers online:\t" + std::to_string(shown));
    EXPECT_EQ(text(json.value(QStringLiteral("players_label"))), "Players online:\t" + std::to_string(players));
    EXPECT_TRUE(json.value(QStringLiteral("messages")).toArray().isEmpty()) << out;
}

} // namespace
} // namespace pelorix
