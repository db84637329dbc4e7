// Slow servers end to end: pelorix-gamesim servers answering late in the first window, listed in cache.dat,
// refreshed by pelorix-cli. Every answer that came within the first window must be in the table with its own ping.
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
#include <map>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::ChildProcess;
using test::TempDir;

TEST(RefreshTiming, ServersAnsweringLateInTheFirstWindowAreAllShownWithTheirPings)
{
    struct World {
        const char *name;
        std::vector<int> delaysMs; // one server each
    };
    const World worlds[] = {
        {"one server at 600 ms", {600}},
        {"servers at 450, 550 and 650 ms together", {450, 550, 650}},
        {"250 servers at 550 ms, more than the queries that run at once", std::vector<int>(250, 550)},
    };
    for (const auto &world : worlds) {
        SCOPED_TRACE(world.name);
        TempDir dir;
        std::string scenario = R"({"servers": [)";
        for (size_t k = 0; k < world.delaysMs.size(); ++k)
            scenario += (k ? ", " : "") + std::string(R"({"delayMs": )") + std::to_string(world.delaysMs[k]) + "}";
        scenario += "]}";
        ASSERT_TRUE(writeFileAtomically(dir.file("world.json"), scenario));
        const std::string portFile = dir.file("ports.txt");
        const std::string listFile = dir.file("list.txt");
        ChildProcess gamesim(PELORIX_GAMESIM_BIN, {dir.file("world.json"), "--base-port", "0", "--port-file", portFile,
                                                   "--master-list-file", listFile});
        std::string list;
        for (int i = 0; i < 200 && !readWholeFile(listFile, list); ++i)
            std::this_thread::sleep_for(50ms);
        std::string ports;
        ASSERT_TRUE(readWholeFile(portFile, ports)) << gamesim.stderrText();
        const std::vector<std::string> addresses = splitLines(ports); // in scenario order
        ASSERT_EQ(addresses.size(), world.delaysMs.size());

        // The service is unreachable: the list comes from cache.dat.
        TempDir home;
        ASSERT_TRUE(writeFileAtomically(home.file("cache.dat"), list));
        std::string out;
        std::string err;
        const int status =
            test::runProcess(PELORIX_CLI_BIN, {"refresh", "--json"}, &out, &err,
                             {{"PELORIX_HOME", home.path()},
                              {"PELORIX_MASTER_HOST", "127.0.0.1:" + std::to_string(test::freeTcpPort())}},
                             60s);
        ASSERT_EQ(status, 0) << err;
        QJsonParseError error{};
        const QJsonArray rows = QJsonDocument::fromJson(QByteArray::fromStdString(out), &error)
                                    .object()
                                    .value(QStringLiteral("rows"))
                                    .toArray();
        ASSERT_EQ(error.error, QJsonParseError::NoError) << out;

        std::map<std::string, int> shown; // address -> ping
        for (const auto &value : rows) {
            const QJsonObject row = value.toObject();
            int ping = -1;
            EXPECT_TRUE(parseInt32(row.value(QStringLiteral("ping")).toString().toStdString(), ping));
            shown[row.value(QStringLiteral("address")).toString().toStdString()] = ping;
        }
        EXPECT_EQ(rows.size(), static_cast<int>(addresses.size()));
        int missing = 0;
        for (size_t k = 0; k < addresses.size(); ++k) {
            const auto it = shown.find(addresses[k]);
            if (it == shown.end()) {
                ++missing;
                continue;
            }
            EXPECT_GE(it->second, world.delaysMs[k] - 5) << addresses[k];
            EXPECT_LT(it->second, std::min(world.delaysMs[k] + 200, 800)) << addresses[k];
        }
        EXPECT_EQ(missing, 0);
    }
}

} // namespace
} // namespace pelorix
