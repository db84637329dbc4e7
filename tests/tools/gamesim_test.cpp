// The game-server simulator, checked from the outside: a real UDP client on 127.0.0.1 asks its servers.
#include "support/LoopbackHttpServer.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include "platform/AtomicFile.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <functional>
#include <map>
#include <set>
#include <thread>

using namespace pelorix::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace
{

const std::string kGamesim = PELORIX_GAMESIM_BIN;

sockaddr_in loopback(int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    return addr;
}

// A simulator running a scenario on free ports, killed when the object goes.
class Sim
{
  public:
    explicit Sim(const std::string &scenarioJson, std::vector<std::string> extraArgs = {})
    {
        EXPECT_TRUE(pelorix::writeFileAtomically(m_dir.file("scenario.json"), scenarioJson));
        std::vector<std::string> args{m_dir.file("scenario.json"), "--base-port", "0", "--port-file",
                                      m_dir.file("ports")};
        args.insert(args.end(), extraArgs.begin(), extraArgs.end());
        start(args);
    }
    explicit Sim(std::vector<std::string> args)
    {
        args.insert(args.end(), {"--port-file", m_dir.file("ports")});
        start(args);
    }

    int port(size_t i) const { return m_ports.at(i); }
    const std::vector<int> &ports() const { return m_ports; }
    ChildProcess &process() { return *m_process; }

  private:
    void start(const std::vector<std::string> &args)
    {
        m_process = std::make_unique<ChildProcess>(kGamesim, args);
        const auto end = Clock::now() + std::chrono::seconds(20);
        std::string text;
        while (Clock::now() < end && m_process->running() && m_process->stdoutText().find("READY") == std::string::npos)
            std::this_thread::sleep_for(milliseconds(10));
        ASSERT_NE(m_process->stdoutText().find("READY"), std::string::npos) << m_process->stderrText();
        ASSERT_TRUE(pelorix::readWholeFile(m_dir.file("ports"), text));
        size_t begin = 0;
        while (begin < text.size()) {
            const size_t end = text.find('\n', begin);
            const std::string line = text.substr(begin, end - begin);
            ASSERT_EQ(line.rfind("127.0.0.1:", 0), 0u) << line;
            m_ports.push_back(std::stoi(line.substr(10)));
            begin = end + 1;
        }
    }

    TempDir m_dir;
    std::unique_ptr<ChildProcess> m_process;
    std::vector<int> m_ports;
};

// The value after the first item equal to key, as every reader of a reply finds it.
std::string valueOf(const std::string &reply, const std::string &key)
{
    const std::string needle = "\\" + key + "\\";
    const auto at = reply.find(needle);
    if (at == std::string::npos)
        return "<missing>";
    const auto begin = at + needle.size();
    return reply.substr(begin, reply.find('\\', begin) - begin);
}

// Every server of these tests starts from the same fixed values, so whole replies can be written out.
const std::string kDefaults = R"("defaults": {"gametype": "Kessrin", "gamevariant": "VEKTA 4", "gamever": "1.1",
    "mapname": "Saltmarsh", "password": "0", "maxplayers": 8, "players": []})";

std::string plainReply(const std::string &name, int port, const std::string &ending = "\\final\\\\eof\\")
{
    return "\\statusresponse\\0\\hostname\\" + name +
           "\\numplayers\\0\\maxplayers\\8\\gametype\\Kessrin\\gamevariant\\VEKTA 4\\mapname\\Saltmarsh\\hostport\\" +
           std::to_string(port - 1) +
           "\\password\\0\\gamever\\1.1\\statsenabled\\0\\vektawon\\0\\suspectswon\\0\\round\\1\\numrounds\\2"
           "\\queryid\\AMv1" +
           ending;
}

// Asks every port at once from one socket; the joined replies by server port.
std::map<int, std::string> askAll(const std::vector<int> &ports, milliseconds window)
{
    UdpPeer client;
    for (const int port : ports)
        client.send(port);
    std::map<int, std::string> replies;
    for (const auto &d : client.collect(window))
        replies[d.fromPort] += d.data;
    return replies;
}

std::set<std::string> demoMaps()
{
    std::string text;
    EXPECT_TRUE(pelorix::readWholeFile(std::string(PELORIX_SOURCE_DIR) + "/data/demo-maps.txt", text));
    std::set<std::string> maps;
    size_t begin = 0;
    while (begin < text.size()) {
        const size_t end = text.find('\n', begin);
        maps.insert(text.substr(begin, end - begin));
        begin = end + 1;
    }
    return maps;
}

class Gamesim : public ::testing::Test
{
};

} // namespace

TEST_F(Gamesim, NormalReplyHasEveryKeyInOrderWithTheScenarioValues)
{
    Sim sim(R"({"servers": [{"hostname": "[c=FF0000]Red[b]Team", "gametype": "Talvori", "gamevariant": "VEKTA 4X",
        "gamever": "1.0", "mapname": "Ironvale", "password": "1", "maxplayers": 12,
        "statsenabled": 1, "vektawon": 3, "suspectswon": 2, "round": 2, "numrounds": 5, "queryid": "AMv1",
        "players": [{"name": "Ada", "score": 12, "ping": 40},
                    {"name": "Old Man Jenkins", "score": -3, "ping": 77}]}]})");
    UdpPeer client;
    client.send(sim.port(0));
    const auto got = client.collect(milliseconds(1500), [](const std::string &t) { return t.find("eof") != t.npos; });
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].fromPort, sim.port(0));
    EXPECT_EQ(got[0].data, "\\statusresponse\\0\\hostname\\[c=FF0000]Red[b]Team\\numplayers\\2\\maxplayers\\12"
                           "\\gametype\\Talvori\\gamevariant\\VEKTA 4X\\mapname\\Ironvale\\hostport\\" +
                               std::to_string(sim.port(0) - 1) +
                               "\\password\\1\\gamever\\1.0\\statsenabled\\1\\vektawon\\3\\suspectswon\\2\\round\\2"
                               "\\numrounds\\5\\queryid\\AMv1\\player_0\\Ada\\score_0\\12\\ping_0\\40"
                               "\\player_1\\Old Man Jenkins\\score_1\\-3\\ping_1\\77\\final\\\\eof\\");
}

TEST_F(Gamesim, AnswersOnlyTheExactStatusRequest)
{
    Sim sim("{" + kDefaults + R"(, "servers": [{"hostname": "Strict"}]})");
    UdpPeer client;
    for (const std::string request : {"\\status", "\\status\\\n", "\\STATUS\\", "\\info\\", "status", "\\status\\\\"})
        client.send(sim.port(0), request);
    EXPECT_TRUE(client.collect(milliseconds(400)).empty());
    EXPECT_EQ(client.ask(sim.port(0)), plainReply("Strict", sim.port(0)));
}

TEST_F(Gamesim, EachBehaviourAnswersAsScripted)
{
    struct Case {
        std::string name;
        std::string server; // JSON object
        milliseconds window;
        std::function<void(const std::vector<Datagram> &, int port)> check;
    };
    const std::vector<Case> cases = {
        {"split", R"({"hostname": "Split", "split": 3, "gapMs": 80})", milliseconds(1200),
         [](const std::vector<Datagram> &got, int port) {
             ASSERT_EQ(got.size(), 3u);
             EXPECT_EQ(joined(got), plainReply("Split", port));
             EXPECT_GE((got[2].at - got[0].at).count(), 120); // two gaps of 80 ms, loosely
         }},
        {"delay", R"({"hostname": "Slow", "delayMs": 400})", milliseconds(3000),
         [](const std::vector<Datagram> &got, int port) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_EQ(got[0].data, plainReply("Slow", port));
             EXPECT_GE(got[0].at.count(), 380);
             EXPECT_LT(got[0].at.count(), 2500);
         }},
        {"silent", R"({"behaviour": "silent"})", milliseconds(800),
         [](const std::vector<Datagram> &got, int) { EXPECT_TRUE(got.empty()); }},
        {"no-eof", R"({"hostname": "NoEof", "behaviour": "no-eof"})", milliseconds(600),
         [](const std::vector<Datagram> &got, int port) {
             EXPECT_EQ(joined(got), plainReply("NoEof", port, "\\final\\"));
         }},
        {"no-final", R"({"hostname": "NoFinal", "behaviour": "no-final"})", milliseconds(600),
         [](const std::vector<Datagram> &got, int port) {
             EXPECT_EQ(joined(got), plainReply("NoFinal", port, "\\eof\\"));
         }},
        {"garbage", R"({"behaviour": "garbage"})", milliseconds(600),
         [](const std::vector<Datagram> &got, int) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_NE(got[0].data.find('\0'), std::string::npos);
             EXPECT_NE(got[0].data.rfind("\\statusresponse", 0), 0u);
         }},
        {"oversized", R"({"hostname": "Big", "behaviour": "oversized"})", milliseconds(1000),
         [](const std::vector<Datagram> &got, int) {
             ASSERT_EQ(got.size(), 1u);
             EXPECT_EQ(got[0].data.size(), 65507u);
             EXPECT_EQ(got[0].data.rfind("\\statusresponse\\0\\hostname\\Big\\", 0), 0u);
             EXPECT_TRUE(got[0].data.ends_with("\\final\\\\eof\\"));
         }},
        {"second-sender", R"({"hostname": "Twin", "behaviour": "second-sender", "gapMs": 30})", milliseconds(800),
         [](const std::vector<Datagram> &got, int port) {
             ASSERT_EQ(got.size(), 2u);
             EXPECT_EQ(got[0].fromPort, port);
             EXPECT_NE(got[1].fromPort, port);
             EXPECT_NE(got[1].fromPort, 0);
             EXPECT_EQ(got[0].data.find("eof"), std::string::npos);
             EXPECT_EQ(joined(got), plainReply("Twin", port));
         }},
    };
    std::string servers;
    for (const auto &c : cases)
        servers += (servers.empty() ? "" : ", ") + c.server;
    Sim sim("{" + kDefaults + ", \"servers\": [" + servers + "]}");
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        UdpPeer client;
        client.send(sim.port(i));
        cases[i].check(client.collect(cases[i].window), sim.port(i));
    }
}

namespace
{

// Sends the status request from a connected socket; the errno of the receive after it (0 when something came).
int receiveErrorAfterQuery(int port)
{
    UdpPeer client;
    const auto to = loopback(port);
    EXPECT_EQ(::connect(client.fd(), reinterpret_cast<const sockaddr *>(&to), sizeof to), 0);
    EXPECT_TRUE(client.send(port));
    pollfd p{client.fd(), POLLIN, 0};
    ::poll(&p, 1, 2000);
    char buffer[64];
    const ssize_t n = ::recv(client.fd(), buffer, sizeof buffer, MSG_DONTWAIT);
    return n < 0 ? errno : 0;
}

} // namespace

TEST_F(Gamesim, ClosedServerPortIsReportedUnreachable)
{
    Sim sim(R"({"servers": [{"behaviour": "closed"}]})");
    EXPECT_EQ(receiveErrorAfterQuery(sim.port(0)), ECONNREFUSED);
}

// A closed server's port stays unreachable for the simulator's whole run: neither a later server of the world nor
// another program is given it meanwhile.
TEST_F(Gamesim, ClosedServersPortsGoToNoOneElse)
{
    std::string servers;
    for (int i = 0; i < 500; ++i)
        servers += std::string(i ? ", " : "") + R"({"behaviour": "closed"}, {"behaviour": "silent"})";
    Sim sim(R"({"servers": [)" + servers + "]}");
    ASSERT_EQ(sim.ports().size(), 1000u);
    std::set<int> closed;
    for (size_t i = 0; i < sim.ports().size(); i += 2)
        closed.insert(sim.ports()[i]);
    const std::set<int> distinct(sim.ports().begin(), sim.ports().end());
    EXPECT_EQ(distinct.size(), sim.ports().size());

    // Free ports are drawn at random: had the closed ports been given back, some of these would land on one.
    std::vector<std::unique_ptr<UdpPeer>> others;
    int taken = 0;
    for (int i = 0; i < 800; ++i) {
        others.push_back(std::make_unique<UdpPeer>());
        taken += static_cast<int>(closed.count(others.back()->port()));
    }
    EXPECT_EQ(taken, 0);

    // And the ports still refuse a query.
    EXPECT_EQ(receiveErrorAfterQuery(*closed.begin()), ECONNREFUSED);
    EXPECT_EQ(receiveErrorAfterQuery(*closed.rbegin()), ECONNREFUSED);
}

TEST_F(Gamesim, TrickleKeepsComingUntilTheClientPortIsGoneOrTheCap)
{
    Sim sim("{" + kDefaults + R"(, "servers": [{"behaviour": "trickle", "gapMs": 40},
        {"behaviour": "trickle", "gapMs": 40, "trickleMaxMs": 300}]})");
    int clientPort = 0;
    {
        UdpPeer client;
        clientPort = client.port();
        client.send(sim.port(0));
        const auto got = client.collect(milliseconds(800));
        ASSERT_GE(got.size(), 6u);
        EXPECT_EQ(got[0].data.rfind("\\statusresponse\\0\\hostname\\", 0), 0u);
        for (const auto &d : got)
            EXPECT_EQ(d.data.find("final"), std::string::npos);
        EXPECT_NE(got.back().data.find("\\player_"), std::string::npos);
    }
    // The client's port is closed now: the next trickle datagram is refused and the trickle ends.
    std::this_thread::sleep_for(milliseconds(400));
    UdpPeer reopened(clientPort);
    EXPECT_TRUE(reopened.collect(milliseconds(600)).empty());

    UdpPeer capped;
    capped.send(sim.port(1));
    const auto got = capped.collect(milliseconds(2000));
    EXPECT_GE(got.size(), 3u);
    for (const auto &d : got)
        EXPECT_LT(d.at.count(), 1200) << "datagram after the cap";
}

// A server whose reply is whole at once and then keeps sending: the opening already ends with "eof".
TEST_F(Gamesim, CompleteTrickleOpensWithTheWholeReplyAndKeepsGoing)
{
    Sim sim("{" + kDefaults +
            R"(, "servers": [{"hostname": "Chatty", "behaviour": "trickle", "gapMs": 40, "trickleComplete": true}]})");
    UdpPeer client;
    client.send(sim.port(0));
    const auto got = client.collect(milliseconds(600));
    ASSERT_GE(got.size(), 5u);
    EXPECT_EQ(got[0].data, plainReply("Chatty", sim.port(0)));
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_EQ(got[i].data.rfind("\\player_", 0), 0u) << got[i].data;
        EXPECT_EQ(got[i].data.find("eof"), std::string::npos);
    }
}

TEST_F(Gamesim, FloodSendsLargeDatagramsForItsDurationOnly)
{
    Sim sim("{" + kDefaults + R"(, "servers": [{"behaviour": "flood", "floodMs": 300, "gapMs": 5, "floodBurst": 2}]})");
    UdpPeer client;
    client.send(sim.port(0));
    const auto got = client.collect(milliseconds(2000));
    EXPECT_GE(got.size(), 10u);
    for (const auto &d : got) {
        EXPECT_EQ(d.data.size(), 65000u);
        EXPECT_LT(d.at.count(), 1300) << "datagram after the flood ended";
    }
}

// A flood whose every burst takes the loop longer than its gap: the other servers still answer meanwhile, and the
// flood ends once its client's port is gone.
TEST_F(Gamesim, FloodLeavesRoomForTheOthersAndEndsWithItsClient)
{
    Sim sim("{" + kDefaults + R"(, "servers": [{"behaviour": "flood", "floodMs": 8000, "gapMs": 1, "floodBurst": 200},
        {"hostname": "Calm"}]})");
    auto flooded = std::make_unique<UdpPeer>();
    flooded->send(sim.port(0));
    ASSERT_EQ(flooded->collect(milliseconds(2000), [](const std::string &) { return true; }).size(), 1u);

    UdpPeer calm;
    EXPECT_EQ(calm.ask(sim.port(1), milliseconds(3000)), plainReply("Calm", sim.port(1)));

    // Sends counted by the simulator itself, a while after the flooded client went away: they no longer grow.
    flooded.reset();
    const auto sends = [&sim] {
        const size_t seen = sim.process().stderrText().size();
        sim.process().kill(SIGUSR1);
        std::string text;
        for (int i = 0; i < 100; ++i) {
            text = sim.process().stderrText();
            if (text.size() > seen && text.ends_with('\n'))
                break;
            std::this_thread::sleep_for(milliseconds(20));
        }
        const auto at = text.rfind("sends=");
        return text.size() <= seen || at == std::string::npos ? -1L : std::stol(text.substr(at + 6));
    };
    std::this_thread::sleep_for(milliseconds(300));
    const long before = sends();
    std::this_thread::sleep_for(milliseconds(500));
    const long after = sends();
    EXPECT_GT(before, 0);
    EXPECT_EQ(after, before);
}

TEST_F(Gamesim, ChurnAndEventsChangeThePlayers)
{
    Sim sim("{" + kDefaults + R"(, "servers": [
        {"maxplayers": 4, "players": ["A", "B", "C", "D"], "churn": {"leaveEveryMs": 100}},
        {"maxplayers": 2, "churn": {"joinEveryMs": 60}},
        {"players": ["Ada", "Bob"], "events": [{"atMs": 1000, "leave": "Ada"},
                                               {"atMs": 1000, "join": {"name": "Cy", "score": 5, "ping": 9}}]}]})");
    UdpPeer client;
    const std::string before = client.ask(sim.port(2));
    EXPECT_NE(before.find("\\player_0\\Ada\\"), std::string::npos);

    // A full server frees up, an empty one fills to its slot count and no further.
    auto waitFor = [&](int port, const std::string &count) {
        for (int i = 0; i < 60; ++i) {
            if (valueOf(client.ask(port, milliseconds(500)), "numplayers") == count)
                return true;
            std::this_thread::sleep_for(milliseconds(50));
        }
        return false;
    };
    EXPECT_TRUE(waitFor(sim.port(0), "0"));
    EXPECT_TRUE(waitFor(sim.port(1), "2"));
    std::this_thread::sleep_for(milliseconds(300));
    const std::string full = client.ask(sim.port(1));
    EXPECT_EQ(valueOf(full, "numplayers"), "2");
    EXPECT_NE(valueOf(full, "player_1"), "<missing>");
    EXPECT_EQ(valueOf(full, "player_2"), "<missing>");

    std::string after;
    for (int i = 0; i < 60 && after.find("Cy") == std::string::npos; ++i) {
        std::this_thread::sleep_for(milliseconds(50));
        after = client.ask(sim.port(2), milliseconds(500));
    }
    EXPECT_NE(after.find("\\numplayers\\2\\"), std::string::npos);
    EXPECT_TRUE(after.ends_with("\\player_0\\Bob\\score_0\\0\\ping_0\\0\\player_1\\Cy\\score_1\\5\\ping_1\\9"
                                "\\final\\\\eof\\"))
        << after;
}

TEST_F(Gamesim, GeneratedWorldAnswersOnEveryPort)
{
    Sim sim({"--generate", "40", "--seed", "3", "--delay", "5"});
    EXPECT_EQ(sim.process().stdoutText(), "READY 40\n");
    ASSERT_EQ(sim.ports().size(), 40u);
    std::set<std::string> names;
    UdpPeer client;
    for (const int port : sim.ports()) {
        const std::string reply = client.ask(port);
        EXPECT_EQ(reply.rfind("\\statusresponse\\0\\hostname\\", 0), 0u);
        EXPECT_TRUE(reply.ends_with("\\final\\\\eof\\"));
        EXPECT_EQ(valueOf(reply, "hostport"), std::to_string(port - 1));
        names.insert(valueOf(reply, "hostname"));
    }
    EXPECT_EQ(names.size(), 40u);
}

TEST_F(Gamesim, PrintMasterListGivesTheScenarioPorts)
{
    TempDir dir;
    ASSERT_TRUE(pelorix::writeFileAtomically(dir.file("s.json"),
                                             R"({"basePort": 40000, "servers": [{}, {}, {"port": 40010}]})"));
    struct Case {
        std::vector<std::string> args;
        std::string list;
    };
    const Case cases[] = {
        {{dir.file("s.json")}, "127.0.0.1:40000\r\n127.0.0.1:40001\r\n127.0.0.1:40010\r\nEND\r\n"},
        {{dir.file("s.json"), "--base-port", "50000"},
         "127.0.0.1:50000\r\n127.0.0.1:50001\r\n127.0.0.1:50010\r\nEND\r\n"},
        {{"--generate", "2", "--base-port", "41000"}, "127.0.0.1:41000\r\n127.0.0.1:41001\r\nEND\r\n"},
    };
    for (const auto &c : cases) {
        auto args = c.args;
        args.push_back("--print-master-list");
        std::string out;
        EXPECT_EQ(runProcess(kGamesim, args, &out), 0);
        EXPECT_EQ(out, c.list);
    }
}

TEST_F(Gamesim, RefusesBadCommandLinesAndScenarios)
{
    TempDir dir;
    const std::pair<std::string, std::string> files[] = {
        {"typo.json", R"({"servers": [{"hostnme": "x"}]})"},
        {"dup.json", R"({"servers": [{"port": 40000}, {"port": 40000}]})"},
        {"behaviour.json", R"({"servers": [{"behaviour": "sleepy"}]})"},
        {"notjson.json", R"({"servers": [)"},
        {"split.json", R"({"servers": [{"split": 0}]})"},
        {"churn.json", R"({"servers": [{"churn": {"leaveEvery": 100}}]})"},
        {"event.json", R"({"servers": [{"events": [{"atMs": 10, "join": "A", "leave": "B"}]}]})"},
        {"trickle.json", R"({"servers": [{"behaviour": "trickle", "trickleComplete": "yes"}]})"},
        {"players.json", R"({"servers": [{"players": ["A", {"score": 3}]}]})"},
        {"events.json", R"({"servers": [{"events": {"atMs": 10, "leave": "B"}}]})"},
    };
    for (const auto &[name, text] : files)
        ASSERT_TRUE(pelorix::writeFileAtomically(dir.file(name), text));
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"--generate", "x"},
        {"--generate", "3", "--behaviour", "sleepy"},
        {"--generate", "3", "--bogus"},
        {"--base-port", "70000", "--generate", "1"},
        {dir.file("missing.json")},
        {dir.file("typo.json")},
        {dir.file("dup.json")},
        {dir.file("behaviour.json")},
        {dir.file("notjson.json")},
        {dir.file("split.json")},
        {dir.file("churn.json")},
        {dir.file("event.json")},
        {dir.file("trickle.json")},
        {dir.file("players.json")},
        {dir.file("events.json")},
    };
    for (const auto &args : cases) {
        std::string err;
        EXPECT_EQ(runProcess(kGamesim, args, nullptr, &err), 2) << (args.empty() ? "" : args.back());
        EXPECT_FALSE(err.empty());
    }
}

TEST_F(Gamesim, RegistersEveryServerWithTheMaster)
{
    // A stand-in master: answers every request with a short page and keeps the request heads.
    LoopbackHttpServer master;
    master.setDefaultReply(LoopbackHttpServer::lengthReply("OK"));
    Sim sim(R"({"servers": [{}, {"behaviour": "silent"}, {"behaviour": "closed"}]})", {"--register", master.url("")});
    ASSERT_TRUE(master.waitForServed(3, std::chrono::seconds(20)));
    const std::vector<std::string> heads = master.requests();
    ASSERT_EQ(heads.size(), 3u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(heads[i].rfind(
                      "GET /vekta4/vekta4add.php?server=127.0.0.1:" + std::to_string(sim.port(i)) + " HTTP/1.0\r\n", 0),
                  0u)
            << heads[i];
        EXPECT_NE(heads[i].find("\r\nUser-Agent: PLX\r\n"), std::string::npos);
    }
    EXPECT_EQ(sim.process().stdoutText(), "READY 3\n");
}

TEST_F(Gamesim, ReportsStatsOnRequestAndEndsCleanly)
{
    Sim sim("{" + kDefaults + R"(, "servers": [{"split": 2, "gapMs": 10}]})", {"--stats"});
    UdpPeer client;
    EXPECT_FALSE(client.ask(sim.port(0)).empty());
    const std::string stats = "STATS queries=1 sends=2 lateness_us_p50=";
    sim.process().kill(SIGUSR1);
    for (int i = 0; i < 200 && sim.process().stderrText().find(stats) == std::string::npos; ++i)
        std::this_thread::sleep_for(milliseconds(10));
    EXPECT_NE(sim.process().stderrText().find(stats), std::string::npos) << sim.process().stderrText();
    sim.process().kill(SIGTERM);
    EXPECT_EQ(sim.process().wait(std::chrono::seconds(10)), 0);
    const std::string err = sim.process().stderrText();
    EXPECT_NE(err.find(stats, err.find(stats) + 1), std::string::npos) << "no second report at exit: " << err;

    std::string out;
    EXPECT_EQ(
        runProcess(kGamesim, {"--generate", "2", "--run-for", "200"}, &out, nullptr, {}, std::chrono::seconds(20)), 0);
    EXPECT_EQ(out, "READY 2\n");
}

TEST_F(Gamesim, QstatReadsTheSimulatedServers)
{
    const std::string qstat = PELORIX_QSTAT_BIN;
    if (qstat.empty() || ::access(qstat.c_str(), X_OK) != 0)
        GTEST_SKIP() << "quakestat is not installed";
    Sim sim(R"({"servers": [{"hostname": "Qstat Probe", "mapname": "Frostmere", "maxplayers": 16,
        "players": [{"name": "Ada", "score": 3, "ping": 40}, {"name": "Bob", "score": 1, "ping": 60}]}]})");
    std::string out;
    const std::string address = "127.0.0.1:" + std::to_string(sim.port(0));
    ASSERT_EQ(runProcess(qstat, {"-gps", address, "-raw", ",", "-P"}, &out), 0);
    // GPS,address,name,map,max,count,...: then one line per player.
    EXPECT_EQ(out.rfind("GPS," + address + ",Qstat Probe,Frostmere,16,2,", 0), 0u) << out;
    EXPECT_NE(out.find("\nAda,"), std::string::npos) << out;
    EXPECT_NE(out.find("\nBob,"), std::string::npos) << out;
}

TEST_F(Gamesim, DemoWorldIsBelievableAndUsesOnlyListedMaps)
{
    const auto maps = demoMaps();
    ASSERT_GE(maps.size(), 15u);
    for (const auto &map : maps) {
        EXPECT_FALSE(map.empty());
        EXPECT_EQ(map.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_-"),
                  std::string::npos)
            << map;
    }

    Sim sim({std::string(PELORIX_SOURCE_DIR) + "/data/demo-world.json", "--base-port", "0"});
    ASSERT_GE(sim.ports().size(), 250u);
    EXPECT_EQ(sim.process().stdoutText(), "READY " + std::to_string(sim.ports().size()) + "\n");
    const auto replies = askAll(sim.ports(), milliseconds(3000));
    EXPECT_GT(replies.size(), sim.ports().size() * 9 / 10);
    EXPECT_LT(replies.size(), sim.ports().size()) << "some servers should stay silent";
    int full = 0, empty = 0, locked = 0, coloured = 0;
    std::set<std::string> types, editions;
    for (const auto &[port, reply] : replies) {
        EXPECT_TRUE(reply.ends_with("\\final\\\\eof\\")) << reply;
        EXPECT_TRUE(maps.count(valueOf(reply, "mapname"))) << valueOf(reply, "mapname");
        const auto players = valueOf(reply, "numplayers");
        full += players == valueOf(reply, "maxplayers");
        empty += players == "0";
        locked += valueOf(reply, "password") != "0";
        coloured += valueOf(reply, "hostname").find("[c=") != std::string::npos;
        types.insert(valueOf(reply, "gametype"));
        editions.insert(valueOf(reply, "gamevariant") + " " + valueOf(reply, "gamever"));
    }
    EXPECT_GT(full, 3);
    EXPECT_GT(empty, 10);
    EXPECT_GT(locked, 3);
    EXPECT_GT(coloured, 3);
    EXPECT_EQ(types, (std::set<std::string>{"Kessrin", "Talvori", "Druvane", "Pellish", "Morvath"}));
    EXPECT_EQ(editions, (std::set<std::string>{"VEKTA 4 1.0", "VEKTA 4 1.1", "VEKTA 4X 1.0", "VEKTA 4X 1.1"}));
}

TEST_F(Gamesim, GeneratedWorldsUseOnlyTheDemoMaps)
{
    const auto maps = demoMaps();
    Sim sim({"--generate", "150", "--seed", "11"});
    const auto replies = askAll(sim.ports(), milliseconds(2000));
    EXPECT_EQ(replies.size(), 150u);
    for (const auto &[port, reply] : replies)
        EXPECT_TRUE(maps.count(valueOf(reply, "mapname"))) << valueOf(reply, "mapname");
}
