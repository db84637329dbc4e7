#include "core/SettingsStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

using namespace pelorix;
using namespace pelorix::test;

namespace {

class CliWebGetTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
#ifndef PELORIX_CLI_BIN
        GTEST_SKIP() << "pelorix-cli is not built";
#endif
    }

    int webget(const std::vector<std::string> &args)
    {
#ifdef PELORIX_CLI_BIN
        std::vector<std::string> all{"webget"};
        all.insert(all.end(), args.begin(), args.end());
        return runProcess(PELORIX_CLI_BIN, all, &out, &err, {{"XDG_CONFIG_HOME", config.path()}});
#else
        return -1;
#endif
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
    EXPECT_EQ(server.requests()[0], "GET /info/ver.php?id=2&all=yes HTTP/1.0\r\nHost: " + server.hostPort()
                                        + "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\nUser-Agent: PELORIX\r\n\r\n");
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
    EXPECT_EQ(proxy.requests()[0], "GET " + server.url("/x") + " HTTP/1.0\r\nHost: " + server.hostPort()
                                       + "\r\nProxy-Authorization: Basic dXNlcjpwYXNz\r\nKeep-Alive: 300\r\n"
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
