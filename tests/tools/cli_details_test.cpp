// pelorix-cli update, players and refresh --sort against servers in miniature on loopback.
#include "core/Text.h"
#include "platform/AtomicFile.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <string>
#include <vector>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using test::TempDir;
using test::UdpPeer;
using test::UdpServers;

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

CliRun cli(const std::vector<std::string> &args, const std::map<std::string, std::string> &env = {})
{
    CliRun run;
    run.status = test::runProcess(PELORIX_CLI_BIN, args, &run.out, &run.err, env, 60s);
    return run;
}

QJsonObject json(const std::string &text)
{
    QJsonParseError error{};
    const auto doc = QJsonDocument::fromJson(QByteArray::fromStdString(text), &error);
    EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    return doc.object();
}

std::string reply(const std::string &name)
{
    return "\\hostname\\" + name +
           "\\numplayers\\2\\maxplayers\\8\\password\\0\\gametype\\Kessrin\\mapname\\Harbour"
           "\\gamevariant\\VEKTA 4\\gamever\\1.0\\player_0\\Big%Al\\score_0\\12\\player_1\\"
           "Zed\\score_1\\-1\\final\\\\eof\\";
}

TEST(CliDetails, UpdatePrintsTheCellsOfTheRow)
{
    UdpServers server(1, [](size_t, const std::string &) {
        return std::vector<UdpServers::Send>{{0, "\\hostname\\[c=00FF00]Alpha\\numplayers\\3\\maxplayers\\16"
                                                 "\\password\\1\\gametype\\Druvane\\mapname\\Canyon\\gamevariant"
                                                 "\\VEKTA 4X\\gamever\\1.0\\final\\"}};
    });
    UdpPeer silent;

    const CliRun plain = cli({"update", server.address(0)});
    ASSERT_EQ(plain.status, 0) << plain.err;
    const auto cells = [&] {
        std::vector<std::string> out;
        size_t start = 0;
        const std::string line = plain.out.substr(0, plain.out.find('\n'));
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            out.push_back(line.substr(start, tab - start));
        out.push_back(line.substr(start));
        return out;
    }();
    ASSERT_EQ(cells.size(), 8u) << plain.out;
    EXPECT_EQ(cells[0], "\xC2\xAE");
    EXPECT_EQ(cells[1], "Alpha");
    EXPECT_EQ(cells[2], "3/16");
    EXPECT_EQ(std::vector<std::string>(cells.begin() + 4, cells.end()),
              (std::vector<std::string>{"Druvane", "Canyon", "VEKTA 4X", "1.0"}));

    const CliRun answered = cli({"update", server.address(0), "--json"});
    ASSERT_EQ(answered.status, 0) << answered.err;
    const QJsonObject row = json(answered.out);
    EXPECT_EQ(row.size(), 9);
    EXPECT_EQ(row.value(QStringLiteral("name")).toString(), QStringLiteral("Alpha"));
    EXPECT_TRUE(row.value(QStringLiteral("answered")).toBool());

    const CliRun unanswered = cli({"update", silent.address(), "--json"});
    EXPECT_EQ(unanswered.status, 1);
    const QJsonObject none = json(unanswered.out);
    EXPECT_EQ(none.value(QStringLiteral("name")).toString(), QStringLiteral("N/A"));
    EXPECT_EQ(none.value(QStringLiteral("players")).toString(), QStringLiteral("?/?"));
    EXPECT_FALSE(none.value(QStringLiteral("answered")).toBool());
    EXPECT_GE(none.value(QStringLiteral("ping")).toString().toInt(), 1900);
}

TEST(CliDetails, PlayersPrintsTheList)
{
    UdpServers server(1, [](size_t, const std::string &) {
        return std::vector<UdpServers::Send>{{0, reply("Alpha")}};
    });
    const CliRun plain = cli({"players", server.address(0)});
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_EQ(plain.out, "Player list:\n\nBig Al | Score: 12\nZed | Score: -1\n");

    const CliRun asJson = cli({"players", server.address(0), "--json"});
    ASSERT_EQ(asJson.status, 0) << asJson.err;
    const QJsonObject list = json(asJson.out);
    const QJsonArray players = list.value(QStringLiteral("players")).toArray();
    ASSERT_EQ(players.size(), 2);
    EXPECT_EQ(players[0].toObject().value(QStringLiteral("name")).toString(), QStringLiteral("Big Al"));
    EXPECT_EQ(players[1].toObject().value(QStringLiteral("score")).toString(), QStringLiteral("-1"));
    EXPECT_TRUE(list.value(QStringLiteral("answered")).toBool());

    UdpPeer silent;
    const CliRun none = cli({"players", silent.address(), "--json"});
    EXPECT_EQ(none.status, 1);
    EXPECT_EQ(none.out, "{\"players\":[],\"answered\":false}\n");
}

// What a server sends cannot steer the terminal or break the one-line form: the reply's reading already ends a text
// at its first C0 control character, and DEL and the C1 bytes that survive it print as blanks.
TEST(CliDetails, ControlCharactersOfAServerPrintAsBlanks)
{
    UdpServers server(1, [](size_t, const std::string &) {
        return std::vector<UdpServers::Send>{
            {0, "\\hostname\\Al\x7f"
                "pha\x81"
                "2J\\numplayers\\1\\maxplayers\\8\\password\\0\\gametype"
                "\\Kes\trin\\mapname\\Harbour\\gamevariant\\VEKTA 4\\gamever\\1.0\\player_0\\Z\x9d"
                "ed\x7f"
                "\\score_0\\3\\final\\"}};
    });
    const CliRun update = cli({"update", server.address(0)});
    ASSERT_EQ(update.status, 0) << update.err;
    const auto cells = [](const std::string &line) {
        std::vector<std::string> out;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            out.push_back(line.substr(start, tab - start));
        out.push_back(line.substr(start));
        return out;
    }(update.out);
    ASSERT_EQ(cells.size(), 8u) << update.out;
    EXPECT_EQ(cells[1], "Al pha 2J");
    EXPECT_EQ(cells[4], "Kes");

    const CliRun players = cli({"players", server.address(0)});
    ASSERT_EQ(players.status, 0) << players.err;
    EXPECT_EQ(players.out, "Player list:\n\nZ ed  | Score: 3\n");
}

TEST(CliDetails, BadCommandLines)
{
    const std::vector<std::vector<std::string>> cases = {
        {"update"},
        {"update", "127.0.0.1:1", "--bogus"},
        {"update", "127.0.0.1:port"},
        {"players"},
        {"players", "a", "b"},
        {"players", "127.0.0.1:1x"},
        {"refresh", "--sort", "lock"},
        {"refresh", "--sort", "ping:up"},
        {"refresh", "--sort"},
    };
    for (const auto &args : cases) {
        const CliRun run = cli(args);
        EXPECT_EQ(run.status, 64) << args.back() << run.err;
    }
}

// The refresh's table ordered as one click (or two) on a title, over an offline list of four servers.
TEST(CliDetails, RefreshSortOrdersTheTable)
{
    const std::vector<std::string> names = {"delta", "Alpha", "charlie", "bravo"};
    UdpServers servers(4, [&](size_t k, const std::string &) {
        return std::vector<UdpServers::Send>{{static_cast<int>(k) * 40, reply(names[k])}};
    });
    TempDir home;
    std::string cache;
    for (const auto &address : servers.addresses())
        cache += address + "\r\n";
    ASSERT_TRUE(writeFileAtomically(home.file("cache.dat"), cache + "END\r\n"));
    const std::map<std::string, std::string> env = {
        {"PELORIX_HOME", home.path()}, {"PELORIX_MASTER_HOST", "127.0.0.1:" + std::to_string(test::freeTcpPort())}};

    struct Case {
        const char *sort;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"name", {"Alpha", "bravo", "charlie", "delta"}},
        {"name:desc", {"delta", "charlie", "bravo", "Alpha"}},
        {"ping", {"delta", "Alpha", "charlie", "bravo"}},
        {"ping:desc", {"bravo", "charlie", "Alpha", "delta"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sort);
        const CliRun run = cli({"refresh", "--json", "--sort", c.sort}, env);
        ASSERT_EQ(run.status, 0) << run.err;
        std::vector<std::string> got;
        for (const auto &row : json(run.out).value(QStringLiteral("rows")).toArray())
            got.push_back(row.toObject().value(QStringLiteral("name")).toString().toStdString());
        EXPECT_EQ(got, c.names);
    }
}

} // namespace
} // namespace pelorix
