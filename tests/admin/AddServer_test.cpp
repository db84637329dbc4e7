// The add from an address that is not local: the test runs itself again inside a private user and network namespace
// of its own (loopback up, 10.77.0.1/32 on it), where the simulated servers, the reference service, the engine and
// the command-line browser meet. Nothing it sends leaves that namespace.
#include "admin/AddServer.h"

#include "core/SettingsStore.h"
#include "discovery/WebClient.h"
#include "support/LoopbackHttpServer.h"
#include "support/PrivateNetwork.h"
#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <thread>

using namespace pelorix;
using namespace pelorix::test;
using namespace std::chrono_literals;

namespace
{

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// The add's view as the test sees it: every call in order.
class RecordingView final : public AddServerView
{
  public:
    void clearLog() override
    {
        log.clear();
        calls.push_back("clearLog");
    }
    void appendLog(const std::string &line) override { log.push_back(line); }
    void setLogVisible(bool visible) override
    {
        logVisible = visible;
        calls.push_back(visible ? "showLog" : "hideLog");
    }
    void startProgress() override { calls.push_back("startProgress"); }
    void stopProgress() override { calls.push_back("stopProgress"); }
    void beep() override { calls.push_back("beep"); }
    void closeWindow() override { calls.push_back("close"); }
    void rearmStartup() override { calls.push_back("rearm"); }

    std::vector<std::string> log;
    std::vector<std::string> calls;
    bool logVisible = false;
};

// Outside: runs the tests below again in a namespace of their own, or says why it cannot.
TEST(AddServer, EndToEndInAPrivateNetwork)
{
    if (test::insidePrivateNetwork())
        GTEST_SKIP() << "already inside";
    const test::PrivateRun run = test::runInPrivateNetwork("AddServerInside.*");
    if (!run.possible)
        GTEST_SKIP() << run.skipReason;
    EXPECT_EQ(run.status, 0) << run.out << run.err;
    EXPECT_EQ(run.out.find("SKIPPED"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("[  PASSED  ]"), std::string::npos) << run.out;
}

class AddServerInside : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (!test::insidePrivateNetwork())
            GTEST_SKIP() << "runs inside the private network of AddServer.EndToEndInAPrivateNetwork";
        std::string error;
        ASSERT_TRUE(test::setUpPrivateNetwork(error)) << error;

        // The servers: one whole reply, one silent, one whose "final" lies past the first 1,024 bytes of its only
        // datagram, one that sends its reply in three datagrams, and one for the command line.
        const std::string scenario = R"({"defaults": {"hostname": "Test", "mapname": "m1"}, "servers": [
            {"hostname": "Whole"}, {"behaviour": "silent"}, {"behaviour": "oversized"},
            {"hostname": "Pieces", "split": 3, "gapMs": 300}, {"hostname": "Cli"}, {"hostname": "Offline"}]})";
        const std::string scenarioPath = m_dir.file("world.json");
        std::ofstream(scenarioPath) << scenario;
        const std::string portFile = m_dir.file("ports.txt");
        m_sim = std::make_unique<ChildProcess>(
            PELORIX_GAMESIM_BIN,
            std::vector<std::string>{scenarioPath, "--bind", kPrivateServerHost, "--port-file", portFile});
        for (int i = 0; i < 200 && readFile(portFile).empty(); ++i)
            std::this_thread::sleep_for(50ms);
        std::istringstream lines(readFile(portFile));
        for (std::string line; std::getline(lines, line);)
            m_servers.push_back(line);
        ASSERT_EQ(m_servers.size(), 6u) << m_sim->stderrText();
        for (const auto &server : m_servers)
            ASSERT_EQ(server.rfind(std::string(kPrivateServerHost) + ":", 0), 0u) << server;

        // The reference service, which probes a server itself before it lists it.
        m_masterPort = freeTcpPort();
        m_master = std::make_unique<ChildProcess>(
            PELORIX_MASTER_BIN,
            std::vector<std::string>{"serve", "--db", m_db, "--port", std::to_string(m_masterPort), "--allow-private",
                                     "--status-timeout", "1500", "--no-access-log"});
        ASSERT_TRUE(waitForTcpPort(m_masterPort, 20s)) << m_master->stderrText();
        ::setenv("PELORIX_MASTER_HOST", ("127.0.0.1:" + std::to_string(m_masterPort)).c_str(), 1);
        m_add.setClock([] { return std::string("STAMP"); });
    }

    std::string port(std::size_t server) const
    {
        return m_servers.at(server).substr(std::strlen(kPrivateServerHost) + 1);
    }
    long long portNumber(std::size_t server) const { return std::stoll(port(server)); }

    std::string listed()
    {
        std::string out;
        EXPECT_EQ(runProcess(PELORIX_MASTER_BIN, {"list", "--db", m_db}, &out), 0);
        return out;
    }

    std::vector<std::string> logTexts() const
    {
        std::vector<std::string> texts;
        for (const auto &line : m_view.log) {
            EXPECT_EQ(line.rfind("STAMP | ", 0), 0u) << line;
            texts.push_back(line.substr(5));
        }
        return texts;
    }

    TempDir m_dir;
    std::string m_db = m_dir.file("master.db");
    std::unique_ptr<ChildProcess> m_sim;
    std::unique_ptr<ChildProcess> m_master;
    std::vector<std::string> m_servers;
    int m_masterPort = 0;
    SettingsStore m_settings{m_dir.file("PELORIX.reg")};
    RecordingPump m_pump;
    ScriptedDialogs m_dialogs;
    WebClient m_web{m_settings, m_pump, m_dialogs};
    RecordingView m_view;
    AddServer m_add{m_web, m_pump, m_dialogs, m_view};
};

TEST_F(AddServerInside, AnsweringServerIsAddedThenFoundInTheList)
{
    // The window stays alive in the waits: an event posted now runs during the add, and a second add asked for from
    // there is not started.
    std::optional<AddOutcome> nested;
    m_pump.post([&] { nested = m_add.Run(kPrivateServerHost, portNumber(1)); });
    EXPECT_EQ(m_add.Run(kPrivateServerHost, portNumber(0)), AddOutcome::Added);
    EXPECT_EQ(nested, AddOutcome::Busy);
    EXPECT_FALSE(m_add.running());
    EXPECT_GT(m_pump.processCount(), 100) << "the waits handle events";

    const std::vector<std::string> log = logTexts();
    ASSERT_EQ(log.size(), 8u);
    const std::vector<std::string> fixed = {" | Variables set.", " | Checking server list . . .",
                                            " | Status requested.", " | Connection attempt 1/3",
                                            " | Got reply from server."};
    EXPECT_EQ(std::vector<std::string>(log.begin(), log.begin() + 5), fixed);
    const std::string lengthPrefix = " | Reply length: ";
    ASSERT_EQ(log[5].rfind(lengthPrefix, 0), 0u) << log[5];
    const std::string number = log[5].substr(lengthPrefix.size(), log[5].size() - lengthPrefix.size() - 1);
    EXPECT_EQ(log[5].back(), '.');
    EXPECT_GT(std::atoi(number.c_str()), 0) << log[5];
    EXPECT_EQ(std::to_string(std::atoi(number.c_str())), number) << log[5];
    EXPECT_EQ(log[6], " | Saving server to database.");
    EXPECT_EQ(log[7], " | All ok.");
    EXPECT_EQ(m_view.calls, (std::vector<std::string>{"clearLog", "showLog", "startProgress", "stopProgress", "close",
                                                      "hideLog", "rearm"}));
    ASSERT_EQ(m_dialogs.shown().size(), 1u);
    EXPECT_EQ(m_dialogs.shown()[0].kind, DialogKind::Information);
    EXPECT_EQ(m_dialogs.shown()[0].text, "Server was added!");
    EXPECT_EQ(m_add.attempts(), 1);
    EXPECT_EQ(listed(), m_servers[0] + "\n");

    // Now the listing check finds it: the window closes without a test query.
    EXPECT_EQ(m_add.Run(kPrivateServerHost, portNumber(0)), AddOutcome::AlreadyListed);
    EXPECT_EQ(logTexts(), (std::vector<std::string>{" | Variables set.", " | Checking server list . . .",
                                                    " | Server already exists."}));
    EXPECT_EQ(m_dialogs.shown().back().kind, DialogKind::Warning);
    EXPECT_EQ(m_dialogs.shown().back().text, "Server is already in list.");
    EXPECT_EQ(m_view.calls.back(), "close");
    // Another spelling of the same server is another line: it passes the listing check and the test query, and the
    // service's refusal of that spelling is an answer, which the add does not judge.
    EXPECT_EQ(m_add.Run(std::string(kPrivateServerHost) + ".", portNumber(0)), AddOutcome::Added);
    EXPECT_EQ(listed(), m_servers[0] + "\n") << "the service lists it once";
}

TEST_F(AddServerInside, ReplyInPiecesIsJoinedAcrossTheAttempts)
{
    EXPECT_EQ(m_add.Run(kPrivateServerHost, portNumber(3)), AddOutcome::Added);
    EXPECT_EQ(m_add.attempts(), 2);
    EXPECT_EQ(listed(), m_servers[3] + "\n");
}

TEST_F(AddServerInside, NoFinalNoAddition)
{
    struct Case {
        const char *what;
        long long port;
        int attempts;
    };
    const Case cases[] = {
        {"silent server", portNumber(1), 3},
        {"final cut off after 1,024 bytes", portNumber(2), 3},
        {"port 0", 0, 0},
        {"port 65536", 65536, 0},
        {"port 1000000", 1000000, 0},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const std::size_t shownBefore = m_dialogs.shown().size();
        m_view.calls.clear();
        EXPECT_EQ(m_add.Run(kPrivateServerHost, c.port), AddOutcome::NoAnswer);
        EXPECT_EQ(m_add.attempts(), c.attempts);
        ASSERT_FALSE(m_view.log.empty());
        EXPECT_EQ(logTexts().back(), " | FAILED to get info from server, check IP and PORT please.");
        ASSERT_EQ(m_dialogs.shown().size(), shownBefore + 1);
        EXPECT_EQ(m_dialogs.shown().back().kind, DialogKind::Error);
        EXPECT_EQ(m_dialogs.shown().back().text, "Failed to add server!\r\nCheck IP and PORT please.");
        EXPECT_EQ(m_view.calls, (std::vector<std::string>{"clearLog", "showLog", "startProgress", "beep",
                                                          "stopProgress", "hideLog"}));
    }
    EXPECT_EQ(listed(), "");
    EXPECT_TRUE(m_add.udp().isOpen()) << "the socket stays open for the next add";
}

TEST_F(AddServerInside, ServiceThatNeverAnswersIsNotAnAddition)
{
    m_master->kill(SIGKILL);
    m_master->wait();
    EXPECT_EQ(m_add.Run(kPrivateServerHost, portNumber(5)), AddOutcome::NotSaved);
    const std::vector<std::string> log = logTexts();
    ASSERT_GE(log.size(), 2u);
    EXPECT_EQ(log[log.size() - 2], " | Saving server to database.");
    EXPECT_EQ(log.back(), " | Failed to save server to main database !");
    EXPECT_EQ(m_dialogs.shown().back().kind, DialogKind::Error);
    EXPECT_EQ(m_dialogs.shown().back().text,
              std::string("Failed to add server to database!\r\nPlease contact ") + kListContact);
    EXPECT_EQ(std::count(m_view.calls.begin(), m_view.calls.end(), "close"), 0) << "the window stays open";
    EXPECT_EQ(m_view.calls.back(), "hideLog");
}

TEST_F(AddServerInside, ListingCheckReadsALongListToTheEnd)
{
    // 100,000 lines, the server's own line last and spelt exactly as the address box and port give it.
    std::string list;
    for (int i = 0; i < 99999; ++i)
        list += "10.1." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":10481\r\n";
    list += m_servers[0];
    LoopbackHttpServer service;
    service.addReply(LoopbackHttpServer::lengthReply(list));
    ::setenv("PELORIX_MASTER_HOST", service.hostPort().c_str(), 1);
    EXPECT_EQ(m_add.Run(kPrivateServerHost, portNumber(0)), AddOutcome::AlreadyListed);
    EXPECT_EQ(service.connectionCount(), 1u) << "no add request after the listing check found the server";
}

TEST_F(AddServerInside, CommandLineAdd)
{
    std::string out;
    std::string err;
    EXPECT_EQ(runProcess(PELORIX_CLI_BIN, {"add", m_servers[4]}, &out, &err), 0) << out << err;
    // Every log line starts with the local date and time.
    const std::string first = out.substr(0, out.find('\n'));
    const std::string text = " | Variables set.";
    ASSERT_GT(first.size(), text.size() + 8) << out;
    EXPECT_EQ(first.substr(first.size() - text.size()), text);
    EXPECT_NE(first.find_first_of("0123456789"), std::string::npos) << first;
    EXPECT_NE(out.find(" | Status requested.\n"), std::string::npos) << out;
    EXPECT_NE(out.find(" | All ok.\n"), std::string::npos) << out;
    EXPECT_NE(err.find("Server was added!"), std::string::npos) << err;
    EXPECT_EQ(listed(), m_servers[4] + "\n");
    EXPECT_EQ(runProcess(PELORIX_CLI_BIN, {"add", m_servers[4]}, &out, &err), 1);
    EXPECT_NE(out.find(" | Server already exists.\n"), std::string::npos) << out;
    EXPECT_NE(err.find("Server is already in list."), std::string::npos) << err;
    EXPECT_EQ(runProcess(PELORIX_CLI_BIN, {"add", m_servers[1]}, &out, &err), 1);
    EXPECT_NE(err.find("Failed to add server!\nCheck IP and PORT please."), std::string::npos) << err;
}

} // namespace
