// The delete against the reference master-list service on loopback, and against scripted services for the lock and
// the replies the reference service never gives.
#include "admin/DeleteServer.h"

#include "core/SettingsStore.h"
#include "discovery/WebClient.h"
#include "support/LoopbackHttpServer.h"
#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

using namespace pelorix;
using namespace pelorix::test;
using namespace std::chrono_literals;

namespace
{

constexpr char kPassword[] = "s3cr&t pw=1";

class DeleteServerTest : public ::testing::Test
{
  protected:
    // The reference service with two servers listed and the administrator password set.
    void startMaster()
    {
        ASSERT_EQ(master({"add", "1.2.3.4:10481"}), 0);
        ASSERT_EQ(master({"add", "5.6.7.8:10481"}), 0);
        ASSERT_EQ(master({"set-password"}, nullptr, kPassword), 0);
        const int port = freeTcpPort();
        m_service = std::make_unique<ChildProcess>(
            PELORIX_MASTER_BIN, std::vector<std::string>{"serve", "--db", m_db, "--port", std::to_string(port),
                                                         "--password-checks", "1000", "--no-access-log"});
        ASSERT_TRUE(waitForTcpPort(port, 20s)) << m_service->stderrText();
        useService("127.0.0.1:" + std::to_string(port));
    }
    int master(std::vector<std::string> args, std::string *out = nullptr, const std::string &input = {})
    {
        args.push_back("--db");
        args.push_back(m_db);
        return runProcess(PELORIX_MASTER_BIN, args, out, nullptr, {}, 60s, input);
    }
    std::string listed()
    {
        std::string out;
        EXPECT_EQ(master({"list"}, &out), 0);
        return out;
    }
    static void useService(const std::string &hostPort) { ::setenv("PELORIX_MASTER_HOST", hostPort.c_str(), 1); }

    TempDir m_dir;
    std::string m_db = m_dir.file("master.db");
    std::unique_ptr<ChildProcess> m_service;
    SettingsStore m_settings{m_dir.file("PELORIX.reg")};
    RecordingPump m_pump;
    ScriptedDialogs m_dialogs;
    WebClient m_web{m_settings, m_pump, m_dialogs};
    DeleteServer m_delete{m_web, m_dialogs};
};

TEST_F(DeleteServerTest, ReferenceServiceJudgesThePassword)
{
    startMaster();
    struct Case {
        const char *what;
        std::optional<std::string> answer; // none: Cancel
        DeleteOutcome outcome;
        DialogKind kind;
        std::string message;
        int refusals;
        std::string listedAfter;
    };
    const Case cases[] = {
        {"wrong password", std::string("wrong"), DeleteOutcome::Refused, DialogKind::Error, "Wrong password.", 1,
         "1.2.3.4:10481\n5.6.7.8:10481\n"},
        {"empty password", std::string(), DeleteOutcome::Refused, DialogKind::Error, "Wrong password.", 2,
         "1.2.3.4:10481\n5.6.7.8:10481\n"},
        // The "&", "=" and blank reach the service inside the one value.
        {"right password", std::string(kPassword), DeleteOutcome::Deleted, DialogKind::Information,
         "Server was deleted.", 2, "5.6.7.8:10481\n"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        m_dialogs.setNextPromptText(c.answer);
        EXPECT_EQ(m_delete.Run("1.2.3.4:10481"), c.outcome);
        ASSERT_FALSE(m_dialogs.shown().empty());
        EXPECT_EQ(m_dialogs.shown().back().kind, c.kind);
        EXPECT_EQ(m_dialogs.shown().back().text, c.message);
        EXPECT_EQ(m_delete.refusals(), c.refusals);
        EXPECT_EQ(listed(), c.listedAfter);
    }
    ASSERT_EQ(m_dialogs.prompts().size(), 3u);
    for (const auto &prompt : m_dialogs.prompts()) {
        EXPECT_EQ(prompt.caption, "Master server admin login");
        EXPECT_EQ(prompt.label, "Password");
        EXPECT_EQ(prompt.initial, "");
        EXPECT_FALSE(prompt.password) << "the answer is shown as typed";
    }
    // Cancel sends the request too, with an empty password.
    m_dialogs.setNextPromptText(std::nullopt);
    EXPECT_EQ(m_delete.Run("5.6.7.8:10481"), DeleteOutcome::Refused);
    EXPECT_EQ(listed(), "5.6.7.8:10481\n");
    EXPECT_EQ(m_delete.refusals(), 3);
}

TEST_F(DeleteServerTest, LocksAfterThreeRefusalsWithoutSendingAnything)
{
    LoopbackHttpServer service;
    service.setDefaultReply(LoopbackHttpServer::lengthReply("1;wrong password"));
    useService(service.hostPort());
    // Two refusals, a deletion that leaves the counter where it is, one more refusal, then the lock.
    const std::pair<LoopbackHttpServer::Reply, DeleteOutcome> steps[] = {
        {LoopbackHttpServer::lengthReply("1;wrong password"), DeleteOutcome::Refused},
        {LoopbackHttpServer::lengthReply("<html>error page</html>"), DeleteOutcome::Refused},
        {LoopbackHttpServer::lengthReply(""), DeleteOutcome::Deleted},
        {LoopbackHttpServer::lengthReply("x"), DeleteOutcome::Refused},
    };
    for (const auto &[reply, outcome] : steps) {
        service.addReply(reply);
        m_dialogs.setNextPromptText(std::string("pw"));
        EXPECT_EQ(m_delete.Run("1.2.3.4:10481"), outcome);
    }
    EXPECT_EQ(m_delete.refusals(), 3);
    ASSERT_TRUE(service.waitForServed(4));
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(m_delete.Run("1.2.3.4:10481"), DeleteOutcome::Locked);
        EXPECT_EQ(m_dialogs.shown().back().kind, DialogKind::Warning);
        EXPECT_EQ(m_dialogs.shown().back().text, "Locked!");
    }
    EXPECT_EQ(m_dialogs.prompts().size(), 4u) << "no password is asked once locked";
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(service.connectionCount(), 4u) << "nothing is sent once locked";
    // The request the service got: the password, the address and the signature's number, in that order.
    const std::string first = service.requests().front();
    EXPECT_EQ(first.rfind("GET /vekta4/vekta4delete.php?pwd=pw&server=1.2.3.4:10481&s=", 0), 0u) << first;
}

TEST_F(DeleteServerTest, UnreachableServiceDeletesNothingAndCountsNothing)
{
    LoopbackHttpServer closing;
    closing.setDefaultReply(LoopbackHttpServer::rawReply(""));
    const std::string nobody = "127.0.0.1:" + std::to_string(freeTcpPort());
    for (const std::string &host : {nobody, closing.hostPort()}) {
        SCOPED_TRACE(host);
        useService(host);
        m_dialogs.setNextPromptText(std::string("pw"));
        EXPECT_EQ(m_delete.Run("1.2.3.4:10481"), DeleteOutcome::Unreachable);
        EXPECT_EQ(m_dialogs.shown().back().kind, DialogKind::Error);
        EXPECT_EQ(m_dialogs.shown().back().text, kDeleteUnreachableText);
        EXPECT_EQ(m_delete.refusals(), 0);
    }
}

TEST_F(DeleteServerTest, AReplyThatNeverEndsIsARefusalWithinTheClientsLimits)
{
    WebLimits limits;
    limits.waitForDataMs = 500;
    limits.transferMs = 1500;
    m_web.setLimits(limits);
    LoopbackHttpServer service;
    service.addReply(LoopbackHttpServer::endlessReply("HTTP/1.0 200 OK\r\n\r\n", "more", 50ms));
    useService(service.hostPort());
    m_dialogs.setNextPromptText(std::string("pw"));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(m_delete.Run("1.2.3.4:10481"), DeleteOutcome::Refused);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
    EXPECT_EQ(m_delete.refusals(), 1);
}

TEST_F(DeleteServerTest, NoSelectedRowAsksAndSendsNothing)
{
    LoopbackHttpServer service;
    useService(service.hostPort());
    EXPECT_EQ(m_delete.Run(""), DeleteOutcome::NoSelection);
    EXPECT_TRUE(m_dialogs.prompts().empty());
    EXPECT_TRUE(m_dialogs.shown().empty());
    EXPECT_EQ(service.connectionCount(), 0u);
}

} // namespace
