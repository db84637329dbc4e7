// A master-list service that never finishes its reply: the refresh gives up on it within the transfer limit
// and queries the servers of cache.dat instead.
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "discovery/HttpExchange.h"
#include "discovery/RefreshEngine.h"
#include "discovery/WebClient.h"
#include "platform/AtomicFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <memory>
#include <sstream>

using namespace pelorix;
using namespace pelorix::test;
using namespace std::chrono_literals;
using Reply = LoopbackHttpServer::Reply;

namespace
{

class QuietView : public RefreshView
{
  public:
    void setCacheLabelVisible(bool visible) override { cacheLabel = visible; }
    void setTotalLabel(const std::string &text) override { total = text; }
    void setPlayersLabel(const std::string &) override {}
    void setServersLabel(const std::string &) override {}
    void setProgressPanelVisible(bool visible) override { panel = visible; }
    bool isProgressPanelVisible() const override { return panel; }
    void setProgressMaximum(int) override {}
    void setProgressPosition(int) override {}
    void setCancelCaption(const std::string &) override {}
    void clearMapPicture() override {}
    void setMenuItemEnabled(RefreshMenuItem, bool) override {}
    void ListBox1_servernameClick() override {}

    bool cacheLabel = false;
    bool panel = false;
    std::string total;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace

TEST(MasterFallback, ServiceThatNeverFinishesItsReplyFallsBackToTheCache)
{
    const std::string cacheText = "127.0.0.1:1\r\n127.0.0.1:2\r\nEND\r\n";
    const std::vector<std::string> cacheAddresses = {"127.0.0.1:1", "127.0.0.1:2"};
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const auto endless = LoopbackHttpServer::endlessReply;
    struct Case {
        const char *what;
        Reply reply;
        bool fromCache;
        std::vector<std::string> addresses;
    };
    // Each piece comes well within the wait limit; the trickled body would pass for a list if it were taken.
    const Case cases[] = {
        {"body trickled without end", endless(ok + "\r\n", "127.0.0.1:9\r\n", 200ms), true, cacheAddresses},
        {"head trickled without end", endless(ok, "X-A: b\r\n", 200ms), true, cacheAddresses},
        {"interim heads without end", endless("", "HTTP/1.1 100 Continue\r\n\r\n", 50ms), true, cacheAddresses},
        {"a list in time",
         LoopbackHttpServer::lengthReply("127.0.0.1:3\r\n127.0.0.1:4\r\n127.0.0.1:5\r\nEND"),
         false,
         {"127.0.0.1:3", "127.0.0.1:4", "127.0.0.1:5"}},
    };
    for (const auto &c : cases) {
        TempDir folder;
        SettingsStore settings(folder.file("PELORIX.reg"));
        ServerTable table;
        ScriptedDialogs dialogs;
        RecordingPump pump;
        QuietView view;
        LoopbackHttpServer master;
        WebClient client(settings, pump, dialogs);
        WebLimits limits;
        limits.waitForDataMs = 1000;
        limits.transferMs = 1500;
        client.setLimits(limits);
        ASSERT_TRUE(writeFileAtomically(folder.file("cache.dat"), cacheText));
        master.addReply(c.reply);

        // The request goes to the loopback service, with the path and query the refresh asked for.
        const auto webGet = [&](const std::string &address, const std::string &userAgent) {
            http::Url url;
            return client.WebGet(http::parseUrl(address, url) ? master.url(url.pathAndQuery) : "", userAgent);
        };
        RefreshEngine::Options options;
        options.applyAffinity = [](std::uint64_t) { return true; };
        options.exchange = [](const auto &...) { return ExchangeResult{}; }; // no server answers
        RefreshEngine engine(table, settings, dialogs, pump, view, webGet, options);
        engine.setProgramFolder(folder.path());
        engine.refresh_imageClick();

        EXPECT_EQ(engine.lastEnd(), RefreshEnd::Completed) << c.what;
        EXPECT_EQ(engine.lastListFromCache(), c.fromCache) << c.what;
        EXPECT_EQ(view.cacheLabel, c.fromCache) << c.what;
        EXPECT_EQ(view.total, "Total server count: " + std::to_string(c.addresses.size())) << c.what;
        std::vector<std::string> listed = c.addresses;
        listed.push_back("END");
        EXPECT_EQ(engine.MasterList(), listed) << c.what;
        if (c.fromCache) {
            EXPECT_EQ(readFile(folder.file("cache.dat")), cacheText) << c.what;
        }
        EXPECT_TRUE(dialogs.texts().empty()) << c.what;
        EXPECT_FALSE(client.WebBusy()) << c.what;
        ASSERT_EQ(master.requests().size(), 1u) << c.what;
        EXPECT_EQ(master.requests()[0].rfind("GET /vekta4list.php?s=", 0), 0u) << c.what;
    }
}
