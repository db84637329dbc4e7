#include "discovery/StatusExchange.h"

#include "discovery/ReplyItems.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

using namespace pelorix;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace
{

using test::UdpPeer;
using test::UdpServers;

// A game server in miniature: every request is answered with the scripted datagrams, each at its time after the
// request came.
class Responder
{
  public:
    explicit Responder(std::vector<UdpServers::Send> script)
        : m_server(1, [script = std::move(script)](size_t, const std::string &) { return script; })
    {
    }
    std::string address() const { return m_server.address(0); }
    std::vector<std::string> requests() const { return m_server.requests(); }

  private:
    UdpServers m_server;
};

struct ExchangeRun {
    ExchangeResult result;
    int elapsedMs = 0;
    int deadlineChecks = 0;
    bool sentBeforeFirstCheck = false; // the request was reported sent when the first deadline check ran
    bool requestSent = false;
};

ExchangeRun runExchange(const std::string &address, const std::atomic<bool> &cancel,
                        const std::atomic<bool> *stop = nullptr)
{
    ExchangeRun run;
    std::atomic<bool> sent{false};
    ExchangeHooks hooks;
    hooks.deadlineCheck = [&run, &sent] {
        if (run.deadlineChecks++ == 0)
            run.sentBeforeFirstCheck = sent.load();
    };
    hooks.stopRequested = stop;
    hooks.requestSent = &sent;
    const auto start = Clock::now();
    run.result = RunRefreshExchange(address, cancel, hooks);
    run.requestSent = sent.load();
    run.elapsedMs =
        static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count());
    return run;
}

} // namespace

TEST(StatusExchange, SendsTheRequestAndJoinsAReplySplitOverTwoDatagrams)
{
    Responder server(
        {{0, "\\hostname\\[c=FF0000]Red[b]Team\\numplayers\\3"}, {100, "\\maxplayers\\16\\final\\\\eof\\"}});
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange(server.address(), cancel);
    EXPECT_EQ(server.requests(), std::vector<std::string>{"\\status\\"});
    ASSERT_TRUE(run.result.accepted);
    EXPECT_EQ(run.result.reply, "\\hostname\\RedTeam\\numplayers\\3\\maxplayers\\16\\final\\\\eof\\");
    EXPECT_GE(run.result.pingMs, 0);
    EXPECT_LT(run.result.pingMs, 300);
    // Windows: the first, one that brought the second datagram, one empty that ended the collecting.
    EXPECT_EQ(run.deadlineChecks, 2);
    EXPECT_TRUE(run.sentBeforeFirstCheck);
}

TEST(StatusExchange, AReplyAfterTheFirstWindowIsCollectedWithAPingOfTheWindow)
{
    Responder server({{900, "\\hostname\\late\\eof\\"}});
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange(server.address(), cancel);
    ASSERT_TRUE(run.result.accepted);
    EXPECT_GE(run.result.pingMs, 790);
    EXPECT_LT(run.result.pingMs, 1100);
}

TEST(StatusExchange, WhatIsAccepted)
{
    struct Case {
        const char *name;
        std::vector<UdpServers::Send> script;
        bool accepted;
        std::string reply;
    };
    const Case cases[] = {
        {"no eof, ending with final", {{0, "\\hostname\\x\\final\\"}}, false, ""},
        {"eof is case-sensitive", {{0, "\\hostname\\x\\EOF\\"}}, false, ""},
        {"eof anywhere", {{0, "\\eof\\hostname\\x"}}, true, "\\eof\\hostname\\x"},
        {"a second sender's datagram joins the reply",
         {{0, "\\hostname\\x"}, {50, "\\extra\\y", true}, {100, "\\eof\\"}},
         true,
         "\\hostname\\x\\extra\\y\\eof\\"},
        {"a 0-byte datagram ends the collecting", {{0, "\\hostname\\x"}, {50, ""}, {100, "\\eof\\"}}, false, ""},
        {"a 0-byte first datagram leaves one more window",
         {{0, ""}, {100, "\\hostname\\x\\eof\\"}},
         true,
         "\\hostname\\x\\eof\\"},
        {"a datagram of the largest size",
         {{0, std::string(65502, 'a') + "\\eof\\"}},
         true,
         std::string(65502, 'a') + "\\eof\\"},
        {"nothing at all", {}, false, ""},
    };
    for (const auto &c : cases) {
        Responder server(c.script);
        std::atomic<bool> cancel{false};
        const ExchangeRun run = runExchange(server.address(), cancel);
        EXPECT_EQ(run.result.accepted, c.accepted) << c.name;
        EXPECT_EQ(run.result.reply, c.reply) << c.name;
    }
}

TEST(StatusExchange, TheFirstWindowOfAZeroByteDatagramTakesItsArrivalAsThePing)
{
    // The ping comes from the empty datagram sent at once, not from the reply 200 ms later.
    Responder server({{0, ""}, {200, "\\hostname\\x\\eof\\"}});
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange(server.address(), cancel);
    ASSERT_TRUE(run.result.accepted);
    EXPECT_LT(run.result.pingMs, 180);
}

TEST(StatusExchange, CancelStopsAfterTheCurrentWindowButNotInTheFirst)
{
    const std::vector<UdpServers::Send> script = {{600, "\\hostname\\x"}, {700, "\\eof\\"}, {800, "\\more\\"}};
    {
        Responder server(script);
        std::atomic<bool> cancel{true};
        const ExchangeRun run = runExchange(server.address(), cancel);
        ASSERT_TRUE(run.result.accepted);
        EXPECT_EQ(run.result.reply, "\\hostname\\x\\eof\\");
    }
    {
        Responder server(script);
        std::atomic<bool> cancel{false};
        const ExchangeRun run = runExchange(server.address(), cancel);
        ASSERT_TRUE(run.result.accepted);
        EXPECT_EQ(run.result.reply, "\\hostname\\x\\eof\\\\more\\");
    }
}

TEST(StatusExchange, AnUnreachablePortIsAFaultAtOnce)
{
    const int port = test::freeUdpPort();
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange("127.0.0.1:" + std::to_string(port), cancel);
    EXPECT_FALSE(run.result.accepted);
    EXPECT_LT(run.elapsedMs, 700); // a silent server would keep it 1100 ms
    EXPECT_EQ(run.deadlineChecks, 0);
    EXPECT_TRUE(run.requestSent); // the fault came with the answer, not with the send
}

TEST(StatusExchange, BadAddressesAreFaults)
{
    for (const std::string address : {"127.0.0.1:abc", "127.0.0.1:", "127.0.0.1:70000", "127.0.0.1:-1", "127.0.0.1:1:2",
                                      "127.0.0.1", ":10481", "127.0.0.1: 10481"}) {
        std::atomic<bool> cancel{false};
        const ExchangeRun run = runExchange(address, cancel);
        EXPECT_FALSE(run.result.accepted) << address;
        EXPECT_EQ(run.deadlineChecks, 0) << address;
        EXPECT_FALSE(run.requestSent) << address;
        EXPECT_LT(run.elapsedMs, 500) << address;
    }
}

TEST(StatusExchange, AStopRequestEndsATrickleAndRecordsNothing)
{
    std::vector<UdpServers::Send> trickle;
    trickle.push_back({0, "\\hostname\\x\\eof\\"});
    for (int t = 200; t <= 8000; t += 200)
        trickle.push_back({t, "\\p\\1"});
    Responder server(trickle);
    std::atomic<bool> cancel{false};
    std::atomic<bool> stop{false};
    std::thread stopper([&stop] {
        std::this_thread::sleep_for(1000ms);
        stop = true;
    });
    const ExchangeRun run = runExchange(server.address(), cancel, &stop);
    stopper.join();
    EXPECT_FALSE(run.result.accepted);
    EXPECT_GE(run.elapsedMs, 950);
    EXPECT_LT(run.elapsedMs, 3000);
    EXPECT_GE(run.deadlineChecks, 3);
}

TEST(StatusExchange, AReplyUpToTheBoundIsAccepted)
{
    std::vector<UdpServers::Send> parts;
    for (int k = 0; k < 4; ++k) // 240 KB in four datagrams, just under the bound
        parts.push_back({k * 20, std::string(60000, 'x')});
    parts.push_back({80, "\\eof\\"});
    Responder server(parts);
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange(server.address(), cancel);
    EXPECT_TRUE(run.result.accepted);
    EXPECT_EQ(run.result.reply.size(), 4 * 60000 + 5u);
}

TEST(StatusExchange, AReplyOverTheBoundIsNotAccepted)
{
    std::vector<UdpServers::Send> flood;
    for (int k = 0; k < 40; ++k) // 2.6 MB: over the bound even if the receive buffer drops a few
        flood.push_back({k * 20, std::string(65000, 'x') + "\\eof\\"});
    Responder server(flood);
    std::atomic<bool> cancel{false};
    const ExchangeRun run = runExchange(server.address(), cancel);
    EXPECT_FALSE(run.result.accepted);
    EXPECT_TRUE(run.result.reply.empty());
}

TEST(StatusExchange, UdpQueryReportsTheDelayOfTheFirstDatagram)
{
    Responder server({{200, "\\a\\b"}});
    UdpQuery query;
    ASSERT_TRUE(query.open(server.address()));
    EXPECT_EQ(query.firstDatagramDelayMs(), -1);
    ASSERT_TRUE(query.sendRequest());
    bool fault = false;
    EXPECT_EQ(query.receiveWithin(2000, fault), "\\a\\b");
    EXPECT_FALSE(fault);
    EXPECT_GE(query.firstDatagramDelayMs(), 150);
    EXPECT_LT(query.firstDatagramDelayMs(), 1000);
    EXPECT_EQ(query.receiveWithin(50, fault), "");
    EXPECT_FALSE(fault);
}

// A window that brings nothing lasts its whole length, never a fraction of a millisecond less: the query's
// deadline check after the first window relies on it.
TEST(StatusExchange, AnEmptyWindowLastsItsWholeLength)
{
    UdpPeer silent;
    UdpQuery query;
    ASSERT_TRUE(query.open(silent.address()));
    ASSERT_TRUE(query.sendRequest());
    for (const int ms : {kFirstWindowMs, 1, 7}) {
        bool fault = false;
        const auto start = Clock::now();
        EXPECT_EQ(query.receiveWithin(ms, fault), "");
        EXPECT_FALSE(fault);
        EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(ms)) << ms << " ms window";
    }
}

// The simulated game servers speak the same exchange; their behaviours cover what a real server may do.
TEST(StatusExchange, AgainstTheGameServerSimulator)
{
    test::TempDir dir;
    std::ofstream(dir.file("world.json")) << R"({"servers": [
        {"hostname": "[c=FF0000]Red[b]Team", "players": ["Bob", "Al"], "maxplayers": 16},
        {"behaviour": "closed"},
        {"behaviour": "no-eof"},
        {"hostname": "Halves", "behaviour": "second-sender"},
        {"hostname": "Big", "behaviour": "oversized"},
        {"hostname": "Late", "delayMs": 900},
        {"hostname": "Split", "split": 3, "gapMs": 100}
    ]})";
    test::ChildProcess sim(PELORIX_GAMESIM_BIN, {dir.file("world.json"), "--port-file", dir.file("ports")});
    std::vector<std::string> addresses;
    for (int k = 0; k < 200 && addresses.size() < 7; ++k) {
        std::this_thread::sleep_for(50ms);
        std::ifstream in(dir.file("ports"));
        addresses.clear();
        for (std::string line; std::getline(in, line);)
            addresses.push_back(line);
    }
    ASSERT_EQ(addresses.size(), 7u) << sim.stderrText();

    // All at once, as a refresh runs them.
    std::vector<ExchangeResult> results(addresses.size());
    std::atomic<bool> cancel{false};
    {
        std::vector<std::thread> threads;
        for (size_t k = 0; k < addresses.size(); ++k)
            threads.emplace_back([&, k] { results[k] = RunRefreshExchange(addresses[k], cancel, {}); });
        for (auto &t : threads)
            t.join();
    }

    const auto name = [&](size_t k) { return valueAfterKey(SplitReplyItems(results[k].reply), "hostname"); };
    ASSERT_TRUE(results[0].accepted);
    EXPECT_EQ(name(0), "RedTeam");
    EXPECT_EQ(valueAfterKey(SplitReplyItems(results[0].reply), "numplayers"), "2");
    EXPECT_LT(results[0].pingMs, 300);
    EXPECT_FALSE(results[1].accepted); // nothing bound: unreachable
    EXPECT_FALSE(results[2].accepted); // no "\eof"
    ASSERT_TRUE(results[3].accepted);
    EXPECT_EQ(name(3), "Halves");
    ASSERT_TRUE(results[4].accepted);
    EXPECT_GT(results[4].reply.size(), 65000u);
    ASSERT_TRUE(results[5].accepted);
    EXPECT_GE(results[5].pingMs, 790);
    ASSERT_TRUE(results[6].accepted);
    EXPECT_EQ(name(6), "Split");
}
