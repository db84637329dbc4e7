// pelorix-cli add and delete as an administrator runs them against the reference service on loopback. The add's way
// to a listed server needs an address that is not local and is tested in a private network (admin/AddServer_test).
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <memory>

using namespace pelorix;
using namespace pelorix::test;
using namespace std::chrono_literals;

namespace
{

class CliAdmin : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_EQ(master({"add", "1.2.3.4:10481"}), 0);
        ASSERT_EQ(master({"add", "5.6.7.8:10481"}), 0);
        ASSERT_EQ(master({"set-password"}, nullptr, "open & sesame"), 0);
        const int port = freeTcpPort();
        m_service = std::make_unique<ChildProcess>(
            PELORIX_MASTER_BIN, std::vector<std::string>{"serve", "--db", m_db, "--port", std::to_string(port),
                                                         "--password-checks", "1000", "--no-access-log"});
        ASSERT_TRUE(waitForTcpPort(port, 20s)) << m_service->stderrText();
        m_host = "127.0.0.1:" + std::to_string(port);
    }
    int master(std::vector<std::string> args, std::string *out = nullptr, const std::string &input = {})
    {
        args.push_back("--db");
        args.push_back(m_db);
        return runProcess(PELORIX_MASTER_BIN, args, out, nullptr, {}, 60s, input);
    }
    int cli(const std::vector<std::string> &args, std::string &out, std::string &err, const std::string &input = {},
            const std::string &host = {})
    {
        return runProcess(PELORIX_CLI_BIN, args, &out, &err,
                          {{"PELORIX_MASTER_HOST", host.empty() ? m_host : host}, {"XDG_CONFIG_HOME", m_dir.path()}},
                          60s, input);
    }
    std::string listed()
    {
        std::string out;
        EXPECT_EQ(master({"list"}, &out), 0);
        return out;
    }

    TempDir m_dir;
    std::string m_db = m_dir.file("master.db");
    std::unique_ptr<ChildProcess> m_service;
    std::string m_host;
};

TEST_F(CliAdmin, DeleteWithThePasswordFromStandardInput)
{
    struct Case {
        const char *what;
        std::vector<std::string> args;
        std::string input;
        int status;
        std::string message;
        std::string listedAfter;
    };
    const std::string unreachable = "127.0.0.1:" + std::to_string(freeTcpPort());
    const Case cases[] = {
        {"wrong password",
         {"delete", "1.2.3.4:10481", "--password-stdin"},
         "wrong\n",
         1,
         "pelorix-cli: error: Wrong password.\n",
         "1.2.3.4:10481\n5.6.7.8:10481\n"},
        {"empty input",
         {"delete", "1.2.3.4:10481", "--password-stdin"},
         "",
         1,
         "pelorix-cli: error: Wrong password.\n",
         "1.2.3.4:10481\n5.6.7.8:10481\n"},
        {"right password, CR LF",
         {"delete", "--password-stdin", "1.2.3.4:10481"},
         "open & sesame\r\n",
         0,
         "pelorix-cli: information: Server was deleted.\n",
         "5.6.7.8:10481\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        std::string err;
        EXPECT_EQ(cli(c.args, out, err, c.input), c.status) << err;
        EXPECT_EQ(err, c.message);
        EXPECT_EQ(out, "");
        EXPECT_EQ(listed(), c.listedAfter);
    }
    // No answer from the service: nothing deleted, and the message says why.
    std::string out;
    std::string err;
    EXPECT_EQ(cli({"delete", "5.6.7.8:10481", "--password-stdin"}, out, err, "open & sesame\n", unreachable), 1);
    EXPECT_EQ(err, "pelorix-cli: error: Could not reach the master server.\nThe server was not deleted.\n");
    EXPECT_EQ(listed(), "5.6.7.8:10481\n");
}

TEST_F(CliAdmin, AddRefusesBeforeAskingAnything)
{
    struct Case {
        const char *what;
        std::vector<std::string> args;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"loopback", {"add", "127.0.0.1:10481"}, 1, "pelorix-cli: warning: Can't add local server!\n"},
        {"192 prefix", {"add", "192.0.2.10:10481"}, 1, "pelorix-cli: warning: Can't add local server!\n"},
        {"five parts", {"add", "1.2.3.4.5:10481"}, 1, "pelorix-cli: error: Not valid IP address!\n"},
        {"empty part", {"add", "1..2.3:10481"}, 1, "pelorix-cli: error: Not valid IP address!\n"},
        {"over 255", {"add", "256.1.1.1:10481"}, 1, "pelorix-cli: error: Not valid IP address!\n"},
        {"a name", {"add", "localhost:10481"}, 1, "pelorix-cli: error: Not valid IP address!\n"},
        {"no port", {"add", "1.2.3.4"}, 64, "usage: pelorix-cli add ADDRESS:QUERYPORT\n"},
        {"two addresses", {"add", "1.2.3.4:1", "5.6.7.8:1"}, 64, "usage: pelorix-cli add ADDRESS:QUERYPORT\n"},
        {"delete without an address",
         {"delete", "--password-stdin"},
         64,
         "usage: pelorix-cli delete ADDRESS [--password-stdin]\n"},
        {"delete with an unknown option",
         {"delete", "1.2.3.4:10481", "--password"},
         64,
         "usage: pelorix-cli delete ADDRESS [--password-stdin]\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        std::string out;
        std::string err;
        EXPECT_EQ(cli(c.args, out, err), c.status);
        EXPECT_EQ(err, c.message);
        EXPECT_EQ(out, "") << "no log line before the checks pass";
    }
    EXPECT_EQ(listed(), "1.2.3.4:10481\n5.6.7.8:10481\n");
}

} // namespace
