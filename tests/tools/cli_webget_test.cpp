#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/RequestSignature.h"
#include "platform/AtomicFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestProcess.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace pelorix;
using namespace pelorix::test;

namespace
{

class CliWebGetTest : public ::testing::Test
{
  protected:
    int webget(const std::vector<std::string> &args)
    {
        std::vector<std::string> all{"webget"};
        all.insert(all.end(), args.begin(), args.end());
        return runProcess(PELORIX_CLI_BIN, all, &out, &err, {{"XDG_CONFIG_HOME", config.path()}});
    }

    TempDir config;
    LoopbackHttpServer server;
    std::string out;
    std::string err;
};

} // namespace

TEST_F(CliWebGetTest, PrintsTheReplyTextBytesUnchanged)
{
    server.addReply(LoopbackHttpServer::lengthReply("caf\xE9\nline 2\n"));
    ASSERT_EQ(webget({server.url("/info/ver.php?id=2&all=yes"), "--agent", "PELORIX"}), 0) << err;
    EXPECT_EQ(out, "caf\xE9\r\nline 2");
    EXPECT_EQ(err, "");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_EQ(server.requests()[0], "GET /info/ver.php?id=2&all=yes HTTP/1.0\r\nHost: " + server.hostPort() +
                                        "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\nUser-Agent: PELORIX\r\n\r\n");
}

TEST_F(CliWebGetTest, GoesThroughTheStoredProxy)
{
    LoopbackHttpServer proxy;
    proxy.addReply(LoopbackHttpServer::lengthReply("via proxy"));
    {
        SettingsStore settings(config.file("PELORIX/PELORIX.reg"));
        settings.WriteBool("proxy", true);
        settings.WriteString("proxyserver", "127.0.0.1");
        settings.WriteString("proxyport", std::to_string(proxy.port()));
        settings.WriteString("proxyuser", "user");
        settings.WriteString("proxypassword", "pass");
    }
    ASSERT_EQ(webget({server.url("/x")}), 0) << err;
    EXPECT_EQ(out, "via proxy");
    EXPECT_EQ(server.connectionCount(), 0u);
    ASSERT_EQ(proxy.requests().size(), 1u);
    EXPECT_EQ(proxy.requests()[0], "GET " + server.url("/x") + " HTTP/1.0\r\nHost: " + server.hostPort() +
                                       "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\nKeep-Alive: 300\r\n"
                                       "Proxy-Connection: keep-alive\r\n\r\n");
}

TEST_F(CliWebGetTest, WarningGoesToStandardErrorAndUnreachableGivesNothing)
{
    server.addReply(LoopbackHttpServer::lengthReply(""));
    ASSERT_EQ(webget({server.url("/a/?x=1")}), 0);
    EXPECT_EQ(out, "");
    EXPECT_NE(err.find("Unknown reply from server!\nError 1;404\nResponse: "), std::string::npos) << err;

    ASSERT_EQ(webget({"http://127.0.0.1:" + std::to_string(freeTcpPort()) + "/"}), 0);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
}

TEST_F(CliWebGetTest, RejectsWrongArguments)
{
    for (const auto &args : std::vector<std::vector<std::string>>{{}, {"--agent"}, {"a", "b"}}) {
        EXPECT_EQ(webget(args), 64);
        EXPECT_NE(err.find("usage: pelorix-cli webget"), std::string::npos);
    }
}

// The whole way of a master list: simulated servers listed by the reference service, fetched with a signed
// request by the command-line browser, directly and through a real proxy that asks for a password.
TEST_F(CliWebGetTest, SignedListOfASimulatedWorldDirectlyAndThroughTinyproxy)
{
    using namespace std::chrono_literals;
    TempDir world;
    const std::string listFile = world.file("list.txt");
    ChildProcess gamesim(PELORIX_GAMESIM_BIN, {"--generate", "12", "--base-port", "0", "--master-list-file", listFile});
    std::string list;
    for (int i = 0; i < 200 && !readWholeFile(listFile, list); ++i)
        std::this_thread::sleep_for(50ms);
    auto servers = splitLines(list);
    ASSERT_EQ(servers.size(), 13u) << list;
    servers.pop_back(); // the simulator's own end line; the service ends the list with its own

    const std::string db = world.file("master.db");
    ASSERT_EQ(runProcess(PELORIX_MASTER_BIN, {"import", listFile, "--db", db}), 0);
    const int port = freeTcpPort();
    ChildProcess master(PELORIX_MASTER_BIN, {"serve", "--port", std::to_string(port), "--db", db});
    ASSERT_TRUE(waitForTcpPort(port)) << master.stderrText();
    const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/vekta4list.php?s=31337";

    const auto expectTheWorld = [&](const std::string &how) {
        SCOPED_TRACE(how);
        ASSERT_EQ(webget({url, "--agent", SignatureFor(31337)}), 0) << err;
        auto lines = splitLines(out);
        ASSERT_EQ(lines.size(), servers.size() + 1) << out;
        EXPECT_EQ(lines.back(), "END OF LIST");
        lines.pop_back();
        EXPECT_EQ(lines, servers);
        // Signed for another number: refused.
        ASSERT_EQ(webget({url, "--agent", SignatureFor(31338)}), 0) << err;
        EXPECT_EQ(out, "denied");
    };
    expectTheWorld("directly");

    Tinyproxy proxy("user", "pass");
    if (std::string(PELORIX_TINYPROXY_BIN).empty())
        GTEST_SKIP() << proxy.error();
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const int proxyPort = proxy.port();
    {
        SettingsStore settings(config.file("PELORIX/PELORIX.reg"));
        settings.WriteBool("proxy", true);
        settings.WriteString("proxyserver", "127.0.0.1");
        settings.WriteString("proxyport", std::to_string(proxyPort));
        settings.WriteString("proxyuser", "user");
        settings.WriteString("proxypassword", "pass");
    }
    expectTheWorld("through tinyproxy");
    // The way went through the proxy: with a wrong password only the proxy's refusal comes back.
    SettingsStore(config.file("PELORIX/PELORIX.reg")).WriteString("proxypassword", "wrong");
    ASSERT_EQ(webget({url, "--agent", SignatureFor(31337)}), 0) << err;
    EXPECT_NE(out.find("Unauthorized"), std::string::npos) << out;
}
