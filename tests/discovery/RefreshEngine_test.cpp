#include "discovery/RefreshEngine.h"

#include "core/EventPump.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/QueryThread.h"
#include "platform/Affinity.h"
#include "platform/AtomicFile.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <mutex>
#include <thread>

namespace pelorix
{
namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using test::ScriptedDialogs;
using test::TempDir;

// Simulated game servers on 127.0.0.1, one socket each, served by one thread.
class UdpFarm
{
  public:
    struct Server {
        int delayMs = 0;   // -1: never answers
        int trickleMs = 0; // > 0: after the reply, a datagram this often for 5 s
        int splitMs = 0;   // > 0: the reply in two datagrams this far apart, "\\eof" only in the second
    };

    explicit UdpFarm(std::vector<Server> servers)
        : m_list(std::move(servers))
        , m_servers(m_list.size(), script(m_list))
    {
    }

    const std::vector<std::string> &addresses() const { return m_servers.addresses(); }
    void setDelay(int ms)
    {
        for (auto &s : m_list)
            s.delayMs = ms;
        m_servers.setScript(script(m_list));
    }
    int requests() const { return static_cast<int>(m_servers.requests().size()); }
    static std::string reply(size_t index)
    {
        return "\\statusresponse\\0\\hostname\\Server " + std::to_string(index) +
               "\\numplayers\\3\\maxplayers\\16\\gametype\\Kessrin\\gamevariant\\VEKTA 4\\mapname\\Harrowgate"
               "\\hostport\\10480\\password\\0\\gamever\\1.1\\final\\\\eof\\";
    }

  private:
    static test::UdpServers::Script script(std::vector<Server> servers)
    {
        return [servers = std::move(servers)](size_t index, const std::string &) {
            const Server &s = servers[index];
            std::vector<test::UdpServers::Send> sends;
            if (s.delayMs < 0)
                return sends;
            const std::string text = reply(index);
            if (s.splitMs > 0) {
                const size_t half = text.find("\\final");
                sends.push_back({s.delayMs, text.substr(0, half)});
                sends.push_back({s.delayMs + s.splitMs, text.substr(half)});
            } else {
                sends.push_back({s.delayMs, text});
            }
            for (int t = s.trickleMs; s.trickleMs > 0 && t < 5000; t += s.trickleMs)
                sends.push_back({s.delayMs + t, "\\x\\y"});
            return sends;
        };
    }

    std::vector<Server> m_list;
    test::UdpServers m_servers;
};

std::string masterListText(const std::vector<std::string> &addresses)
{
    std::string text;
    for (const auto &a : addresses)
        text += a + "\r\n";
    return text + "END";
}

// Sleeps briefly, runs scripted actions at their time after the origin, and ticks the watchdog every second.
class ScriptedPump : public EventPump
{
  public:
    void waitForEvents(std::chrono::milliseconds maxWait) override
    {
        std::this_thread::sleep_for(std::min(maxWait, 2ms));
    }
    void processPendingEvents() override
    {
        const auto now = Clock::now();
        if (m_originSet) {
            for (auto &[at, action] : m_actions) {
                if (action && now - m_origin >= at) {
                    auto run = std::move(action);
                    action = nullptr;
                    run();
                }
            }
        }
        for (auto &[condition, action] : m_conditional) {
            if (action && condition()) {
                auto run = std::move(action);
                action = nullptr;
                run();
            }
        }
        if (engine && watchdog && now - m_lastTick >= 1000ms) {
            m_lastTick = now;
            engine->Thread_killerTimer();
        }
    }
    // When the refresh set the progress maximum, just before it started its first query.
    Clock::time_point origin() const { return m_origin; }
    void setOrigin()
    {
        m_origin = Clock::now();
        m_originSet = true;
    }
    void at(std::chrono::milliseconds when, std::function<void()> action)
    {
        m_actions.emplace_back(when, std::move(action));
    }
    // Runs action once, at the first event handling where condition holds.
    void when(std::function<bool()> condition, std::function<void()> action)
    {
        m_conditional.emplace_back(std::move(condition), std::move(action));
    }

    RefreshEngine *engine = nullptr;
    bool watchdog = true;

  private:
    std::vector<std::pair<std::chrono::milliseconds, std::function<void()>>> m_actions;
    std::vector<std::pair<std::function<bool()>, std::function<void()>>> m_conditional;
    Clock::time_point m_origin;
    bool m_originSet = false;
    Clock::time_point m_lastTick = Clock::now();
};

class RecordingView : public RefreshView
{
  public:
    void setCacheLabelVisible(bool visible) override { cacheLabel = visible; }
    void setTotalLabel(const std::string &text) override { total = text; }
    void setPlayersLabel(const std::string &text) override { players = text; }
    void setServersLabel(const std::string &text) override { servers = text; }
    void setProgressPanelVisible(bool visible) override { panel = visible; }
    bool isProgressPanelVisible() const override { return panel; }
    void setProgressMaximum(int maximum) override
    {
        progressMax = maximum;
        if (onMaximum)
            onMaximum();
        if (throwOnMaximum)
            throw std::runtime_error("view fault");
    }
    void setProgressPosition(int position) override { progress = position; }
    void setCancelCaption(const std::string &caption) override { cancelCaption = caption; }
    void clearMapPicture() override { ++mapCleared; }
    void setMenuItemEnabled(RefreshMenuItem item, bool enabled) override { menu[item] = enabled; }
    void ListBox1_servernameClick() override { ++nameClicks; }

    bool cacheLabel = false;
    std::string total, players = "Players online:\tN/A", servers = "Servers online:\tN/A";
    bool panel = false;
    int progressMax = -100, progress = -100;
    std::string cancelCaption;
    int mapCleared = 0;
    std::map<RefreshMenuItem, bool> menu;
    int nameClicks = 0;
    std::function<void()> onMaximum;
    bool throwOnMaximum = false;
};

class RefreshEngineTest : public ::testing::Test
{
  protected:
    RefreshEngineTest()
        : settings(folder.file("PELORIX.reg"))
    {
    }

    // An engine whose master-list service answers listText (an empty text: unreachable).
    void makeEngine(RefreshEngine::Options options = {})
    {
        if (!options.applyAffinity)
            options.applyAffinity = [](std::uint64_t) { return true; }; // leave the test's threads alone
        engine = std::make_unique<RefreshEngine>(
            table, settings, dialogs, pump, view, [this](const std::string &, const std::string &) { return listText; },
            options);
        engine->setProgramFolder(folder.path());
        pump.engine = engine.get();
        view.onMaximum = [this] { pump.setOrigin(); };
    }
    std::vector<std::string> column(Column c) const { return table.columnItems(c); }
    // The ping shown in the row of address; -1 when the address has no row.
    int shownPing(const std::string &address) const
    {
        const auto addresses = column(ListBox6_ipaddress);
        const auto it = std::find(addresses.begin(), addresses.end(), address);
        int ping = -1;
        if (it != addresses.end()) {
            EXPECT_TRUE(parseInt32(table.cell(ListBox3_ping, static_cast<int>(it - addresses.begin())), ping));
        }
        return ping;
    }
    // Milliseconds from the start of the query stage to now.
    int msSinceOrigin() const
    {
        return static_cast<int>(
            std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - pump.origin()).count());
    }
    // Pumps until every query thread has been joined, or the time runs out; the watchdog ticks as the pump says.
    bool settle(std::chrono::milliseconds limit = 10s)
    {
        const auto end = Clock::now() + limit;
        while (engine->liveThreads() > 0 && Clock::now() < end) {
            PumpWait(pump, 20);
            engine->joinFinishedThreads();
        }
        return engine->liveThreads() == 0;
    }

    TempDir folder;
    SettingsStore settings;
    ServerTable table;
    ScriptedDialogs dialogs;
    ScriptedPump pump;
    RecordingView view;
    std::string listText;
    std::unique_ptr<RefreshEngine> engine;
};

// Every answer becomes a row, each address once with its own server's values, and never more queries are counted in
// than the cap allows; the statistics and the view are left as a completed refresh leaves them.
TEST_F(RefreshEngineTest, EveryAnswerIsShownWithinTheCap)
{
    struct Case {
        const char *name;
        int servers;
        int delayMs;
        int maxActiveQueries;
        bool capReached; // the cap is reached and held; otherwise it is only never passed
        int pingMin, pingMax;
    };
    const Case cases[] = {
        {"250 servers, 100 places", 250, 150, 100, false, 140, 800},
        {"12 servers, 4 places", 12, 300, 4, true, 290, 800},
        // One slow answer per server: each query keeps its place until its thread has recorded the answer.
        {"250 servers answering after 550 ms", 250, 550, 100, false, 540, 800},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        view = RecordingView{};
        UdpFarm farm(std::vector<UdpFarm::Server>(static_cast<size_t>(c.servers), {c.delayMs}));
        listText = masterListText(farm.addresses());
        RefreshEngine::Options options;
        options.maxActiveQueries = c.maxActiveQueries;
        makeEngine(options);
        engine->refresh_imageClick();

        const auto counters = engine->counters();
        EXPECT_EQ(counters.threadsStarted, c.servers);
        if (c.capReached)
            EXPECT_EQ(counters.peakActiveQueries, c.maxActiveQueries);
        else
            EXPECT_LE(counters.peakActiveQueries, c.maxActiveQueries);
        EXPECT_GE(counters.minActiveQueries, 0);
        EXPECT_EQ(engine->ActiveQueries(), 0);
        EXPECT_EQ(view.progressMax, c.servers - 1);
        EXPECT_EQ(view.progress, c.servers - 1);
        EXPECT_EQ(view.total, "Total server count: " + std::to_string(c.servers));
        EXPECT_EQ(view.servers, "Servers online:\t" + std::to_string(c.servers));
        EXPECT_EQ(view.players, "Players online:\t" + std::to_string(3 * c.servers));
        EXPECT_EQ(view.cancelCaption, "Cancel");
        EXPECT_FALSE(view.panel);
        EXPECT_FALSE(view.cacheLabel);
        EXPECT_EQ(view.mapCleared, 1);
        EXPECT_EQ(view.nameClicks, 1);
        EXPECT_EQ(engine->RefreshStep(), 211);
        EXPECT_TRUE(dialogs.shown().empty());
        for (int col = 0; col < ColumnCount; ++col)
            EXPECT_EQ(table.rowCount(static_cast<Column>(col)), c.servers) << col;
        auto addresses = column(ListBox6_ipaddress);
        std::sort(addresses.begin(), addresses.end());
        auto listed = farm.addresses();
        std::sort(listed.begin(), listed.end());
        EXPECT_EQ(addresses, listed);
        for (int row = 0; row < table.rowCount(ListBox6_ipaddress); ++row) {
            const auto index =
                std::find(farm.addresses().begin(), farm.addresses().end(), table.cell(ListBox6_ipaddress, row)) -
                farm.addresses().begin();
            EXPECT_EQ(table.cell(ListBox1_servername, row), "Server " + std::to_string(index));
            int ping = -1;
            ASSERT_TRUE(parseInt32(table.cell(ListBox3_ping, row), ping));
            EXPECT_GE(ping, c.pingMin) << row;
            EXPECT_LT(ping, c.pingMax) << row;
        }
        EXPECT_EQ(table.selectedIndex(ListBox1_servername), 0);
        EXPECT_TRUE(table.column(ListBox1_servername).enabled);
        EXPECT_TRUE(table.column(ListBox1_servername).visible);
        EXPECT_FALSE(view.menu[RefreshMenuItem::Joinserver1]); // the name column's click handler re-enables them

        ASSERT_TRUE(settle());
        EXPECT_EQ(engine->counters().lateAnswersDropped, 0);
        EXPECT_EQ(engine->counters().forcedStops, 0);
    }
}

TEST_F(RefreshEngineTest, EmptyListStartsNoThreadAndSelectsNothing)
{
    listText = "0123456789END";
    makeEngine();
    engine->refresh_imageClick();
    EXPECT_EQ(engine->counters().threadsStarted, 0);
    EXPECT_EQ(view.progressMax, -1);
    EXPECT_EQ(view.total, "Total server count: 0");
    for (int c = 0; c < ColumnCount; ++c)
        EXPECT_EQ(table.rowCount(static_cast<Column>(c)), 0);
    EXPECT_EQ(table.selectedIndex(ListBox1_servername), -1);
    EXPECT_EQ(view.servers, "Servers online:\tN/A"); // no answer leaves the statistics as they were
    EXPECT_FALSE(view.panel);
    EXPECT_EQ(engine->RefreshStep(), 211);
}

TEST_F(RefreshEngineTest, RequestDuringARefreshOnlyCancelsIt)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(20, {300, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    bool panelAfterRequest = false;
    int startedAtRequest = -1;
    pump.when([&] { return engine->counters().threadsStarted == 20; },
              [&] {
                  startedAtRequest = engine->counters().threadsStarted;
                  engine->refresh_imageClick();
                  panelAfterRequest = view.panel;
              });
    engine->refresh_imageClick();
    EXPECT_EQ(startedAtRequest, 20);
    EXPECT_TRUE(panelAfterRequest); // unlike Cancel, the request leaves the panel up
    const auto c = engine->counters();
    EXPECT_EQ(c.refreshesCancelled, 1);
    EXPECT_EQ(c.refreshesCompleted, 1);
    EXPECT_EQ(c.threadsStarted, 20);
    EXPECT_EQ(c.forcedStops, 0);
    EXPECT_EQ(farm.requests(), 20);
    // The row pass saw the request and emptied the table.
    for (int col = 0; col < ColumnCount; ++col)
        EXPECT_EQ(table.rowCount(static_cast<Column>(col)), 0);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, CancelAfterThreeHundredMillisecondsStopsNothingByForce)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(150, {500, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    int forcedAtCancel = -1;
    int startedAtCancel = -1;
    pump.at(300ms, [&] {
        engine->cancel_ping_buttonClick();
        forcedAtCancel = engine->counters().forcedStops;
        startedAtCancel = engine->counters().threadsStarted;
        EXPECT_FALSE(view.panel);
        EXPECT_TRUE(engine->CancelRequested());
    });
    engine->refresh_imageClick();
    EXPECT_EQ(forcedAtCancel, 0);
    EXPECT_GT(startedAtCancel, 0);
    EXPECT_LE(startedAtCancel, 100);
    // The Cancel came during the wait for a place: that one thread still starts, the next row sees the flag.
    EXPECT_EQ(engine->counters().threadsStarted, startedAtCancel + 1);
    EXPECT_EQ(engine->ActiveQueries(), 0);
    for (int col = 0; col < ColumnCount; ++col)
        EXPECT_EQ(table.rowCount(static_cast<Column>(col)), 0);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, SecondRefreshShowsOnlyItsOwnPings)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(30, {20, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    engine->refresh_imageClick();
    ASSERT_EQ(table.rowCount(ListBox3_ping), 30);
    farm.setDelay(400);
    engine->refresh_imageClick();
    ASSERT_EQ(table.rowCount(ListBox3_ping), 30);
    ASSERT_EQ(table.rowCount(ListBox6_ipaddress), 30);
    for (int row = 0; row < 30; ++row) {
        int ping = -1;
        ASSERT_TRUE(parseInt32(table.cell(ListBox3_ping, row), ping));
        EXPECT_GE(ping, 380) << row;
    }
    EXPECT_EQ(engine->counters().refreshesCompleted, 2);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, LateAnswerNeverReachesItsOwnOrALaterRefresh)
{
    // The only server answers at 1000 ms: its thread is counted out at 800 ms, the refresh stops waiting,
    // and the answer collected in the continuation window reaches the gate afterwards.
    UdpFarm farm({{1000, 0}});
    listText = masterListText(farm.addresses());
    pump.watchdog = false;
    makeEngine();
    engine->refresh_imageClick();
    EXPECT_EQ(table.rowCount(ListBox1_servername), 0);
    EXPECT_EQ(table.rowCount(ListBox6_ipaddress), 0);
    ASSERT_TRUE(settle());
    EXPECT_EQ(engine->counters().lateAnswersDropped, 1);

    farm.setDelay(10);
    engine->refresh_imageClick();
    ASSERT_EQ(table.rowCount(ListBox1_servername), 1);
    int ping = -1;
    ASSERT_TRUE(parseInt32(table.cell(ListBox3_ping, 0), ping));
    EXPECT_LT(ping, 500);
}

// The timing rules of a query, each on both sides of its edge, with the UDP exchange against loopback servers:
// the 800 ms first window and count-out deadline, and the 300 ms continuation window. Times are after the
// request. Threads of a loaded machine start their windows tens of milliseconds late, so the two sides of an edge
// lie 100 ms from it; the edge itself is taken where its outcome does not depend on the side.
TEST_F(RefreshEngineTest, QueryTimingOnBothSidesOfEachEdge)
{
    struct Range {
        int min = -1;
        int max = -1;
    };
    const Range noRow{};
    struct Case {
        const char *name;
        std::vector<UdpFarm::Server> servers; // in list order
        int maxActiveQueries;
        std::vector<Range> pings; // per server; noRow: not shown
        int lateAnswers;
        Range waitEnded;    // the refresh stopped waiting for its queries, ms after they started
        Range threadsEnded; // the last query thread ended
    };
    const Case cases[] = {
        // An answer in hand keeps its query counted in until the thread has recorded it, 300 ms later.
        {"answer at 450 ms", {{450}}, 100, {{440, 600}}, 0, {740, 1100}, {740, 1200}},
        {"answer at 550 ms", {{550}}, 100, {{540, 700}}, 0, {840, 1200}, {840, 1300}},
        {"answer at 650 ms", {{650}}, 100, {{640, 800}}, 0, {940, 1300}, {940, 1400}},
        // The first window and the count-out deadline both end at 800 ms.
        {"answer before 800 ms", {{700}}, 100, {{690, 800}}, 0, {990, 1400}, {990, 1500}},
        {"answer after 800 ms: counted out at 800 ms, it comes too late for a refresh that waits for nothing else",
         {{900}},
         100,
         {noRow},
         1,
         {780, 1000},
         {1190, 1700}},
        {"answer at 800 ms while a later query keeps the refresh waiting: shown, either window gives a ping of 800",
         {{800}, {500}},
         1,
         {{780, 880}, {490, 700}},
         0,
         {1500, 2500},
         {1500, 2600}},
        {"answer after 800 ms while a later query keeps the refresh waiting: the ping is the first window",
         {{900}, {500}},
         1,
         {{790, 880}, {490, 700}},
         0,
         {1500, 2200},
         {1500, 2300}},
        {"silent: counted out at 800 ms, the thread ends at 1100 ms",
         {{-1}},
         100,
         {noRow},
         0,
         {780, 1000},
         {1090, 1500}},
        // A continuation window lasts 300 ms; the reply's "\eof" is in the second datagram.
        {"second datagram 200 ms after the first", {{100, 0, 200}}, 100, {{90, 250}}, 0, {590, 950}, {590, 1000}},
        {"second datagram 400 ms after the first", {{100, 0, 400}}, 100, {noRow}, 0, {390, 700}, {390, 750}},
    };
    pump.watchdog = false; // its own test; a tick must not stop a thread that is still collecting here
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        UdpFarm farm(c.servers);
        listText = masterListText(farm.addresses());
        RefreshEngine::Options options;
        options.maxActiveQueries = c.maxActiveQueries;
        makeEngine(options);
        engine->refresh_imageClick();
        const int waitEnded = msSinceOrigin();
        int threadsEnded = -1;
        for (const auto limit = Clock::now() + 5s; Clock::now() < limit; std::this_thread::sleep_for(1ms)) {
            engine->joinFinishedThreads();
            if (engine->liveThreads() == 0) {
                threadsEnded = msSinceOrigin();
                break;
            }
        }
        for (size_t k = 0; k < c.servers.size(); ++k) {
            const int ping = shownPing(farm.addresses()[k]);
            if (c.pings[k].min < 0) {
                EXPECT_EQ(ping, -1) << "server " << k;
            } else {
                EXPECT_GE(ping, c.pings[k].min) << "server " << k;
                EXPECT_LE(ping, c.pings[k].max) << "server " << k;
            }
        }
        EXPECT_EQ(engine->counters().lateAnswersDropped, c.lateAnswers);
        EXPECT_EQ(engine->ActiveQueries(), 0);
        EXPECT_GE(engine->counters().minActiveQueries, 0);
        EXPECT_GE(waitEnded, c.waitEnded.min);
        EXPECT_LE(waitEnded, c.waitEnded.max);
        EXPECT_GE(threadsEnded, c.threadsEnded.min);
        EXPECT_LE(threadsEnded, c.threadsEnded.max);
    }
}

// The watchdog stops only a thread more than 1000 ms old: a tick at 850 ms leaves a thread that is still collecting
// alone, one at 1150 ms stops it, and it ends within its current window.
TEST_F(RefreshEngineTest, WatchdogStopsAThreadOnlyOnceItIsOlderThanOneSecond)
{
    UdpFarm farm({{20, 100}}); // keeps sending a datagram every 100 ms
    listText = masterListText(farm.addresses());
    pump.watchdog = false;
    makeEngine();
    std::vector<int> stopsAfterTick;
    for (const auto at : {850ms, 1150ms}) {
        pump.at(at, [&] {
            engine->Thread_killerTimer();
            stopsAfterTick.push_back(engine->counters().forcedStops);
        });
    }
    engine->refresh_imageClick();
    ASSERT_TRUE(settle(5s));
    const int threadEnded = msSinceOrigin();
    EXPECT_EQ(stopsAfterTick, (std::vector<int>{0, 1}));
    EXPECT_GE(threadEnded, 1150);
    EXPECT_LT(threadEnded, 1700); // the trickle goes on for 5 s
    EXPECT_EQ(table.rowCount(ListBox1_servername), 0);
}

TEST_F(RefreshEngineTest, AddressListedTwiceGivesOneRowPerListing)
{
    UdpFarm farm({{10, 0}, {30, 0}});
    const auto &a = farm.addresses();
    listText = masterListText({a[0], a[1], a[0]});
    makeEngine();
    engine->refresh_imageClick();
    EXPECT_EQ(engine->counters().threadsStarted, 3);
    EXPECT_EQ(column(ListBox6_ipaddress), (std::vector<std::string>{a[0], a[0], a[1]}));
    EXPECT_EQ(table.rowCount(ListBox1_servername), 3);
    EXPECT_EQ(table.cell(ListBox1_servername, 0), "Server 0");
    EXPECT_EQ(table.cell(ListBox1_servername, 1), "Server 0");
    EXPECT_EQ(table.cell(ListBox1_servername, 2), "Server 1");
    EXPECT_TRUE(settle());
}

TEST(ReorderAddresses, AnswerOrderOncePerListedRow)
{
    struct Case {
        std::vector<std::string> column, replies, expected;
    };
    const Case cases[] = {
        {{"a", "b", "c"}, {"c", "a"}, {"c", "a"}},
        {{"a", "b", "a"}, {"a", "b", "a"}, {"a", "a", "b"}}, // listed twice, answered twice: two rows, not four
        {{"a", "b", "a"}, {"a"}, {"a", "a"}},                // listed twice, answered once
        {{"a", "b"}, {"b", "b", "b"}, {"b"}},
        {{"a"}, {"A"}, {}}, // exact, case-sensitive
        {{}, {"a"}, {}},
    };
    for (size_t k = 0; k < std::size(cases); ++k) {
        SCOPED_TRACE("case " + std::to_string(k));
        const auto &c = cases[k];
        const auto got = RefreshEngine::reorderAddresses(c.column, c.replies);
        EXPECT_EQ(got, c.expected);
        EXPECT_LE(got.size(), c.column.size());
    }
}

TEST(AffinityCounter, MasksCycleThroughProcessorCountPlusOne)
{
    std::atomic<int> counter{0};
    std::vector<std::uint64_t> masks;
    for (int i = 0; i < 7; ++i)
        masks.push_back(nextAffinityMask(counter, 4));
    EXPECT_EQ(masks, (std::vector<std::uint64_t>{1, 2, 3, 4, 5, 1, 2}));
    std::atomic<int> single{0};
    EXPECT_EQ(nextAffinityMask(single, 1), 1u);
    EXPECT_EQ(nextAffinityMask(single, 1), 2u);
    EXPECT_EQ(nextAffinityMask(single, 1), 1u);
}

TEST(AffinityCounter, MaskWithoutAnExistingProcessorIsRefused)
{
    std::thread([] {
        const std::uint64_t before = currentThreadAffinityMask();
        ASSERT_NE(before, 0u);
        const int cpus = systemProcessorCount();
        if (cpus < 64) {
            EXPECT_FALSE(setCurrentThreadAffinityMask(std::uint64_t{1} << 63));
            EXPECT_EQ(currentThreadAffinityMask(), before);
        }
        const std::uint64_t first = before & (~before + 1); // lowest allowed processor
        EXPECT_TRUE(setCurrentThreadAffinityMask(first));
        EXPECT_EQ(currentThreadAffinityMask(), first);
    }).join();
    EXPECT_GE(systemProcessorCount(), 1);
}

TEST_F(RefreshEngineTest, ThreadsGetMasksOneToProcessorCountPlusOne)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(6, {10, 0}));
    listText = masterListText(farm.addresses());
    std::mutex lock;
    std::vector<std::uint64_t> masks;
    RefreshEngine::Options options;
    options.processorCount = 4;
    options.onAffinityMask = [&](std::uint64_t mask) {
        std::lock_guard guard(lock);
        masks.push_back(mask);
    };
    makeEngine(options);
    EXPECT_EQ(engine->ProcessorCount(), 4);
    engine->refresh_imageClick();
    ASSERT_TRUE(settle());
    std::lock_guard guard(lock);
    std::sort(masks.begin(), masks.end()); // threads report in any order; the counter hands them out in order
    EXPECT_EQ(masks, (std::vector<std::uint64_t>{1, 1, 2, 3, 4, 5}));
}

TEST_F(RefreshEngineTest, WatchdogStopsAThreadStillCollectingAfterOneSecond)
{
    UdpFarm farm({{20, 100}}); // keeps sending a datagram every 100 ms
    listText = masterListText(farm.addresses());
    makeEngine();
    engine->refresh_imageClick();
    ASSERT_TRUE(settle(5s));
    EXPECT_EQ(engine->counters().forcedStops, 1);
    // Stopped by force, it recorded nothing: the final pass removed its placeholder row.
    EXPECT_EQ(table.rowCount(ListBox1_servername), 0);
    EXPECT_EQ(engine->ActiveQueries(), 0);
    EXPECT_GE(engine->counters().minActiveQueries, 0);
}

TEST_F(RefreshEngineTest, MissingListKeepsThePanelUpUntilCancel)
{
    listText = "";
    makeEngine();
    engine->refresh_imageClick();
    ASSERT_EQ(dialogs.texts().size(), 1u);
    EXPECT_EQ(dialogs.texts()[0],
              "Cache file is missing, unable to use PELORIX offline.\r\nfile: " + folder.path() + "cache.dat");
    EXPECT_TRUE(view.panel);
    EXPECT_EQ(engine->RefreshStep(), 50);
    EXPECT_EQ(engine->lastEnd(), RefreshEnd::NoList);

    engine->refresh_imageClick(); // the panel marks a refresh as running: this only cancels
    EXPECT_EQ(dialogs.texts().size(), 1u);
    EXPECT_EQ(engine->counters().refreshesCancelled, 1);
    EXPECT_TRUE(engine->CancelRequested());

    engine->cancel_ping_buttonClick();
    EXPECT_FALSE(view.panel);
    listText = "0123456789\r\nEND"; // the service is back
    engine->refresh_imageClick();
    EXPECT_EQ(dialogs.texts().size(), 1u);
    EXPECT_EQ(engine->RefreshStep(), 211);
    EXPECT_EQ(view.total, "Total server count: 1");
}

TEST_F(RefreshEngineTest, OfflineCacheIsShownOnTheCacheLabel)
{
    UdpFarm farm({{10, 0}});
    ASSERT_TRUE(writeFileAtomically(folder.file("cache.dat"), masterListText(farm.addresses()) + "\r\n"));
    listText = "1;404";
    makeEngine();
    engine->refresh_imageClick();
    EXPECT_TRUE(view.cacheLabel);
    EXPECT_TRUE(engine->lastListFromCache());
    EXPECT_EQ(table.rowCount(ListBox1_servername), 1);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, FaultShowsTheStepReachedAndStillRunsTheFinalPass)
{
    UdpFarm farm({{10, 0}});
    listText = masterListText(farm.addresses());
    makeEngine();
    view.throwOnMaximum = true;
    engine->refresh_imageClick();
    ASSERT_EQ(dialogs.texts().size(), 1u);
    EXPECT_EQ(dialogs.texts()[0], "Error: #80");
    EXPECT_EQ(engine->lastEnd(), RefreshEnd::Fault);
    EXPECT_TRUE(view.panel); // left as it was at the fault
    EXPECT_FALSE(table.column(ListBox1_servername).enabled);
    // The fault came before any row was made: the listed address is not left behind in its column.
    EXPECT_EQ(table.rowCount(ListBox1_servername), 0);
    EXPECT_EQ(table.rowCount(ListBox6_ipaddress), 0);
    EXPECT_FALSE(engine->refreshInProgress());
    engine->cancel_ping_buttonClick();
    view.throwOnMaximum = false;
    engine->refresh_imageClick();
    EXPECT_EQ(table.rowCount(ListBox1_servername), 1);
    EXPECT_TRUE(table.column(ListBox1_servername).enabled);
    EXPECT_TRUE(settle());
}

// A query that cannot reach its own deadline check before it sends (a host name lookup that takes seconds) is
// counted out at its deadline all the same: with one place, the next query starts at 800 ms while the first is
// still stuck. Once a query has sent, only its own checks count it out: stuck after the send, it keeps its place.
TEST_F(RefreshEngineTest, AStuckQueryIsCountedOutAtItsDeadline)
{
    struct Case {
        const char *name;
        bool reportsSend;
        int secondStartMin, secondStartMax; // ms after the first query started
    };
    const Case cases[] = {
        {"stuck before the send", false, 750, 1100},
        {"stuck after the send", true, 1500, 2500},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        listText = "127.0.0.1:1\r\n127.0.0.1:2\r\nEND"; // the scripted exchange sends nothing
        std::mutex lock;
        std::map<std::string, std::pair<Clock::time_point, Clock::time_point>> ran; // address -> start, end
        RefreshEngine::Options options;
        options.maxActiveQueries = 1;
        options.exchange = [&](const std::string &address, const std::atomic<bool> &, const ExchangeHooks &hooks) {
            const auto start = Clock::now();
            if (c.reportsSend)
                hooks.markRequestSent();
            std::this_thread::sleep_for(address == "127.0.0.1:1" ? 1500ms : 10ms); // no deadline check on the way
            std::lock_guard guard(lock);
            ran[address] = {start, Clock::now()};
            return ExchangeResult{};
        };
        makeEngine(options);
        engine->refresh_imageClick();
        EXPECT_EQ(engine->lastEnd(), RefreshEnd::Completed);
        ASSERT_TRUE(settle());
        std::lock_guard guard(lock);
        ASSERT_EQ(ran.size(), 2u);
        const auto secondStart =
            std::chrono::duration_cast<std::chrono::milliseconds>(ran["127.0.0.1:2"].first - ran["127.0.0.1:1"].first);
        EXPECT_GE(secondStart.count(), c.secondStartMin);
        EXPECT_LE(secondStart.count(), c.secondStartMax);
        EXPECT_GE(engine->counters().minActiveQueries, 0);
    }
}

// Throws once, when the check cell of the first placeholder row is appended.
class ThrowingObserver : public ServerTableObserver
{
  public:
    void rowsInserted(Column column, int, int) override
    {
        if (column == Listbox10_check && !m_thrown) {
            m_thrown = true;
            throw std::runtime_error("observer fault");
        }
    }
    void rowsRemoved(Column, int, int) override {}
    void cellChanged(Column, int) override {}
    void columnReset(Column) override {}
    void columnStateChanged(Column) override {}

  private:
    bool m_thrown = false;
};

TEST_F(RefreshEngineTest, PlaceholderRowFaultIsReportedAndTheLoopGoesOn)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(3, {10, 0}));
    listText = masterListText(farm.addresses());
    ThrowingObserver observer;
    table.addObserver(&observer);
    makeEngine();
    engine->refresh_imageClick();
    table.removeObserver(&observer);
    EXPECT_EQ(dialogs.texts(), std::vector<std::string>{"Error #?"});
    EXPECT_EQ(engine->lastEnd(), RefreshEnd::Completed);
    EXPECT_EQ(engine->counters().threadsStarted, 3);
    EXPECT_EQ(table.rowCount(ListBox1_servername), 3);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, RefreshAfterCancelWaitsForTheCancelledOneToEnd)
{
    // Cancel hides the panel, but the first refresh still waits for its threads: a request then only cancels.
    UdpFarm farm(std::vector<UdpFarm::Server>(10, {-1, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    bool inProgressAfterCancel = false;
    pump.at(200ms, [&] {
        engine->cancel_ping_buttonClick();
        inProgressAfterCancel = engine->refreshInProgress();
        engine->refresh_imageClick();
    });
    engine->refresh_imageClick();
    EXPECT_TRUE(inProgressAfterCancel);
    EXPECT_EQ(engine->counters().refreshesCancelled, 1);
    EXPECT_EQ(engine->counters().threadsStarted, 10);
    EXPECT_EQ(farm.requests(), 10);
    EXPECT_TRUE(settle());
}

TEST_F(RefreshEngineTest, QuittingMidRefreshJoinsEveryThread)
{
    UdpFarm farm(std::vector<UdpFarm::Server>(150, {-1, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    const auto begin = Clock::now();
    pump.at(300ms, [&] { engine->stopAll(); });
    engine->refresh_imageClick();
    EXPECT_LT(Clock::now() - begin, 5s);
    EXPECT_LE(engine->counters().threadsStarted, 101); // the thread whose wait the stop came in still starts
    engine.reset(); // threads may still be in their windows: the destructor stops and joins them
}

TEST_F(RefreshEngineTest, DestroyingTheEngineWhileThreadsFinishIsClean)
{
    // Silent servers: the refresh ends when the threads are counted out at 800 ms; they run on until about 1100 ms.
    UdpFarm farm(std::vector<UdpFarm::Server>(40, {-1, 0}));
    listText = masterListText(farm.addresses());
    makeEngine();
    const auto begin = Clock::now();
    engine->refresh_imageClick();
    EXPECT_GE(Clock::now() - begin, 800ms); // nobody is counted out before the deadline
    // Usually threads are still in their last window here; on a loaded machine they may already have ended,
    // and the destructor must be clean either way (the sanitizer builds check it).
    EXPECT_GE(engine->counters().minActiveQueries, 0);
    engine.reset();
}

} // namespace
} // namespace pelorix
