#include "discovery/MasterList.h"

#include "core/EventPump.h"
#include "core/MasterHost.h"
#include "core/ServerTable.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/RefreshEngine.h"
#include "discovery/RequestSignature.h"
#include "discovery/WebClient.h"
#include "platform/AtomicFile.h"
#include "support/LoopbackHttpServer.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"

#include <gtest/gtest.h>

#include <filesystem>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <functional>
#include <mutex>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pelorix
{
namespace
{

using namespace std::string_literals;
using test::ScriptedDialogs;
using test::TempDir;

class RecordingLabels : public MasterListLabels
{
  public:
    void setCacheLabelVisible(bool visible) override
    {
        cacheVisible = visible;
        ++cacheCalls;
    }
    void setTotalLabel(const std::string &text) override { total = text; }

    bool cacheVisible = false;
    int cacheCalls = 0;
    std::string total = "Total server count: N/A";
};

std::vector<std::string> folderEntries(const std::string &folder)
{
    std::vector<std::string> names;
    if (DIR *dir = ::opendir(folder.c_str())) {
        while (const dirent *e = ::readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..")
                names.push_back(name);
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string fileText(const std::string &path)
{
    std::string text;
    readWholeFile(path, text);
    return text;
}

class MasterListTest : public ::testing::Test
{
  protected:
    // Runs the master-list stage with a service that answers reply.
    MasterListOutcome fetch(const std::string &reply)
    {
        MasterListContext context;
        context.webGet = [this, reply](const std::string &address, const std::string &userAgent) {
            requests.emplace_back(address, userAgent);
            return reply;
        };
        context.dialogs = &dialogs;
        context.table = &table;
        context.labels = &labels;
        context.programFolder = folder.path();
        context.whiteList = &whiteList;
        context.refreshStep = &refreshStep;
        context.masterList = &masterList;
        return GetMasterList(context);
    }
    std::vector<std::string> addresses() const { return table.columnItems(ListBox6_ipaddress); }
    std::string cachePath() const { return folder.file("cache.dat"); }

    TempDir folder;
    ServerTable table;
    ScriptedDialogs dialogs;
    RecordingLabels labels;
    std::vector<std::string> whiteList;
    std::vector<std::string> masterList;
    int refreshStep = 0;
    std::vector<std::pair<std::string, std::string>> requests;
};

TEST_F(MasterListTest, AsksTheServiceWithASignedRequest)
{
    fetch("1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND");
    ASSERT_EQ(requests.size(), 1u);
    const std::string prefix = "http://" + MasterHost() + "/vekta4list.php?s=";
    const std::string &address = requests[0].first;
    ASSERT_EQ(address.rfind(prefix, 0), 0u) << address;
    const int number = std::stoi(address.substr(prefix.size()));
    EXPECT_GE(number, 0);
    EXPECT_LT(number, 99999999);
    EXPECT_EQ(requests[0].second, SignatureFor(number));
}

TEST_F(MasterListTest, ServiceReplyIsJudgedByLengthAndTheNotFoundPhrase)
{
    ASSERT_TRUE(writeFileAtomically(cachePath(), "9.9.9.9:1\r\nEND\r\n"));
    struct Case {
        std::string reply;
        bool fromService;
    };
    const Case cases[] = {
        {"1.2.3.4:10", true},                             // exactly 10 characters
        {"1.2.3.4:1", false},                             // 9
        {"", false},                                      // unreachable
        {"1;404", false},                                 // fault inside the client
        {"<html><h1>404 Not Found</h1></html>", false},   // an error page
        {"<html>500 Internal Server Error</html>", true}, // accepted as a list and queried
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.reply);
        ASSERT_TRUE(writeFileAtomically(cachePath(), "9.9.9.9:1\r\nEND\r\n"));
        const auto outcome = fetch(c.reply);
        EXPECT_TRUE(outcome.obtained);
        EXPECT_EQ(outcome.fromCache, !c.fromService);
        EXPECT_EQ(labels.cacheVisible, !c.fromService);
        EXPECT_EQ(refreshStep, 70);
        if (c.fromService) {
            EXPECT_EQ(fileText(cachePath()), c.reply + "\r\n");
        } else {
            EXPECT_EQ(addresses(), std::vector<std::string>{"9.9.9.9:1"});
            EXPECT_EQ(labels.total, "Total server count: 1");
        }
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MasterListTest, MissingCacheShowsTheErrorAndGivesNoList)
{
    table.setColumnItems(ListBox6_ipaddress, {});
    const auto outcome = fetch("");
    EXPECT_FALSE(outcome.obtained);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown()[0].text,
              "Cache file is missing, unable to use PELORIX offline.\r\nfile: " + folder.path() + "cache.dat");
    EXPECT_FALSE(labels.cacheVisible);
    EXPECT_EQ(labels.total, "Total server count: N/A");
    EXPECT_EQ(refreshStep, 50);
    EXPECT_TRUE(addresses().empty());
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{});
}

TEST_F(MasterListTest, ACacheThatIsThereButCannotBeReadIsAFaultOfItsStep)
{
    // A folder, and a FIFO that no one writes to: reading it must not wait for a writer.
    for (const bool fifo : {false, true}) {
        SCOPED_TRACE(fifo ? "FIFO" : "folder");
        std::filesystem::remove_all(cachePath());
        ASSERT_EQ(fifo ? ::mkfifo(cachePath().c_str(), 0644) : ::mkdir(cachePath().c_str(), 0755), 0);
        EXPECT_THROW(fetch(""), std::exception);
        EXPECT_EQ(refreshStep, 60);
        EXPECT_TRUE(dialogs.shown().empty()); // not the "missing" error: the refresh's own fault report follows
    }
}

TEST_F(MasterListTest, EmptyCacheGivesMinusOneAndNoRows)
{
    ASSERT_TRUE(writeFileAtomically(cachePath(), ""));
    const auto outcome = fetch("");
    EXPECT_TRUE(outcome.obtained);
    EXPECT_TRUE(outcome.fromCache);
    EXPECT_TRUE(labels.cacheVisible);
    EXPECT_EQ(labels.total, "Total server count: -1");
    EXPECT_TRUE(addresses().empty());
    EXPECT_TRUE(masterList.empty());
    EXPECT_EQ(fileText(cachePath()), "");
}

TEST_F(MasterListTest, LastLineIsNotAnAddress)
{
    const auto outcome = fetch("1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND");
    EXPECT_FALSE(outcome.fromCache);
    EXPECT_FALSE(labels.cacheVisible);
    EXPECT_EQ(labels.total, "Total server count: 2");
    EXPECT_EQ(addresses(), (std::vector<std::string>{"1.2.3.4:10481", "5.6.7.8:10481"}));
    EXPECT_EQ(masterList.size(), 3u);
    EXPECT_EQ(fileText(cachePath()), "1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND\r\n");
}

TEST_F(MasterListTest, CacheLinesOfAnyBreakFormAreRewrittenWithCrLf)
{
    ASSERT_TRUE(writeFileAtomically(cachePath(), "1.1.1.1:1\n2.2.2.2:2\r3.3.3.3:3\r\nEND"));
    const auto outcome = fetch("short");
    EXPECT_TRUE(outcome.fromCache);
    EXPECT_EQ(refreshStep, 70);
    EXPECT_EQ(addresses(), (std::vector<std::string>{"1.1.1.1:1", "2.2.2.2:2", "3.3.3.3:3"}));
    EXPECT_EQ(fileText(cachePath()), "1.1.1.1:1\r\n2.2.2.2:2\r\n3.3.3.3:3\r\nEND\r\n");
}

TEST_F(MasterListTest, WhiteListMatchesWholeEntriesWithoutRegardToCase)
{
    const std::string list = "1.2.3.4:10480\r\nsrv.example:10480\r\n5.6.7.8:10480\r\n9.9.9.9:1\r\nEND";
    struct Case {
        std::vector<std::string> whiteList;
        std::vector<std::string> masterList; // what survives the filter
    };
    const Case cases[] = {
        {{"1.2.3.4:10480"}, {"1.2.3.4:10480"}},
        {{"SRV.EXAMPLE:10480"}, {"srv.example:10480"}},
        {{" 1.2.3.4:10480"}, {}}, // nothing is trimmed
        {{"1.2.3.4:10480 "}, {}},
        {{"1.2.3.4:1048"}, {}}, // whole text, not a prefix
        {{"9.9.9.9:1", "", "1.2.3.4:10480", "end"}, {"1.2.3.4:10480", "9.9.9.9:1"}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.whiteList.empty() ? std::string() : c.whiteList[0]);
        whiteList = c.whiteList;
        fetch(list);
        // The list's last line is set aside before the filter: every address the white list keeps is counted
        // and shown, the last one too.
        std::vector<std::string> withLastLine = c.masterList;
        withLastLine.push_back("END");
        EXPECT_EQ(masterList, withLastLine);
        EXPECT_EQ(labels.total, "Total server count: " + std::to_string(c.masterList.size()));
        EXPECT_EQ(addresses(), c.masterList);
        // The cache keeps the whole list.
        EXPECT_EQ(fileText(cachePath()), list + "\r\n");
    }
}

TEST_F(MasterListTest, CacheIsReplacedWithoutLeavingTemporaryFiles)
{
    ASSERT_TRUE(writeFileAtomically(cachePath(), "old:1\r\nEND\r\n"));
    fetch("1.2.3.4:10481\r\nEND");
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"cache.dat"});
    EXPECT_EQ(fileText(cachePath()), "1.2.3.4:10481\r\nEND\r\n");
}

TEST_F(MasterListTest, FailedCacheWriteKeepsThePreviousCopyAndTheRefreshGoesOn)
{
    const std::string previous = "old:1\r\nEND\r\n";
    ASSERT_TRUE(writeFileAtomically(cachePath(), previous));
    // A file-size limit makes the write fail even for root; the signal it raises is ignored for the moment.
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tiny = saved;
    tiny.rlim_cur = 8;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &tiny), 0);
    const auto outcome = fetch("1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND");
    ::setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(outcome.obtained);
    EXPECT_FALSE(outcome.cacheWritten);
    EXPECT_EQ(fileText(cachePath()), previous);
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{"cache.dat"});
    EXPECT_EQ(addresses(), (std::vector<std::string>{"1.2.3.4:10481", "5.6.7.8:10481"}));
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(MasterListTest, ReadOnlyFolderKeepsThePreviousCopy)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    const std::string previous = "old:1\r\nEND\r\n";
    ASSERT_TRUE(writeFileAtomically(cachePath(), previous));
    ASSERT_EQ(::chmod(folder.path().c_str(), 0555), 0);
    const auto outcome = fetch("1.2.3.4:10481\r\nEND");
    ::chmod(folder.path().c_str(), 0755);
    EXPECT_TRUE(outcome.obtained);
    EXPECT_FALSE(outcome.cacheWritten);
    EXPECT_EQ(fileText(cachePath()), previous);
}

TEST_F(MasterListTest, OddCacheFilesNeverCrash)
{
    std::string big;
    for (int i = 0; i < 100000; ++i)
        big += "10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) + ":10481\r\n";
    struct Case {
        std::string name;
        std::string content;
        std::vector<std::string>::size_type rows;
    };
    const Case cases[] = {
        {"NUL ends the text", "1.1.1.1:1\r\n2.2.2.2:2\r\nEND\0tail\r\nmore\r\n"s, 2},
        {"no line break", "1.1.1.1:1", 0},
        {"not addresses", "hello\r\n\xff\xfe\r\n:::\r\n\r\nEND\r\n", 4},
        {"100,000 lines", big, 99999},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFileAtomically(cachePath(), c.content));
        const auto outcome = fetch("");
        EXPECT_TRUE(outcome.fromCache);
        EXPECT_EQ(addresses().size(), c.rows);
        EXPECT_EQ(labels.total, "Total server count: " + std::to_string(c.rows));
    }
}

// Addresses 10.0.0.0:10481 and up, one per line, each followed by the break.
std::string addressLines(int count, const std::string &lineBreak = "\r\n")
{
    std::string text;
    for (int i = 0; i < count; ++i)
        text += "10." + std::to_string(i >> 16 & 0xFF) + "." + std::to_string(i >> 8 & 0xFF) + "." +
                std::to_string(i & 0xFF) + ":10481" + lineBreak;
    return text;
}

std::vector<std::string> firstLines(const std::string &text, size_t count)
{
    auto lines = splitLines(text);
    lines.resize(std::min(lines.size(), count));
    return lines;
}

TEST_F(MasterListTest, ALongListKeepsItsFirstHundredThousandLinesAndItsLastKeptLineIsNoAddress)
{
    static_assert(kMaxListLines == 100'000);
    const std::string longList = addressLines(150'000) + "END";
    const std::string oneTooMany = addressLines(100'000) + "END";
    const std::string justRight = addressLines(99'999) + "END\r\n";
    // A reply of nothing but line breaks, as the web client passes it on.
    std::string breaks(2'000'000, '\n');
    for (size_t i = 0; i < breaks.size(); i += 2)
        breaks[i] = '\r';
    const std::string oneHugeLine(kMaxListTextBytes + 1, '7');
    struct Case {
        std::string name;
        std::string reply;     // from the service; empty: from cache.dat
        std::string cacheFile; // cache.dat before the refresh
        std::vector<std::string> masterList;
        bool cut;
    };
    const Case cases[] = {
        {"150,000 addresses", longList, "", firstLines(longList, 100'000), true},
        {"100,001 lines", oneTooMany, "", firstLines(oneTooMany, 100'000), true},
        {"100,000 lines", justRight, "", splitLines(justRight), false},
        {"only line breaks", breaks, "", std::vector<std::string>(100'000), true},
        {"200,000 lines in cache.dat", "", addressLines(200'000, "\n"), firstLines(longList, 100'000), true},
        {"line feeds in cache.dat", "", std::string(32u * 1024 * 1024, '\n'), std::vector<std::string>(100'000), true},
        {"a line too long for the list in cache.dat", "", oneHugeLine, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(writeFileAtomically(cachePath(), c.cacheFile));
        const auto outcome = fetch(c.reply);
        EXPECT_EQ(outcome.fromCache, c.reply.empty());
        EXPECT_EQ(outcome.cut, c.cut);
        EXPECT_EQ(masterList, c.masterList);
        // The last line kept is not queried, whether the list ended there or was cut there.
        const size_t rows = c.masterList.empty() ? 0 : c.masterList.size() - 1;
        EXPECT_EQ(addresses(), std::vector<std::string>(c.masterList.begin(), c.masterList.begin() + rows));
        EXPECT_EQ(labels.total, "Total server count: " + std::to_string(static_cast<long>(c.masterList.size()) - 1));
        std::string written;
        for (const auto &line : c.masterList)
            written += line + "\r\n";
        EXPECT_EQ(fileText(cachePath()), written);

        // The cache.dat written from a cut list gives the same rows offline, and is whole.
        const auto offline = fetch("");
        EXPECT_TRUE(offline.fromCache);
        EXPECT_FALSE(offline.cut);
        EXPECT_EQ(masterList, c.masterList);
        EXPECT_EQ(addresses().size(), rows);
        EXPECT_EQ(fileText(cachePath()), written);
    }
}

TEST_F(MasterListTest, AWhiteListAppliesToTheFirstHundredThousandLinesOnly)
{
    const std::string list = addressLines(150'000) + "END";
    const auto lines = splitLines(list);
    // Kept are the first and the 99,999th address; the 100,000th line is the last one kept and so no address,
    // and an address after the limit is never looked at.
    whiteList = {lines[0], lines[99'998], lines[99'999], lines[120'000]};
    const auto outcome = fetch(list);
    EXPECT_TRUE(outcome.cut);
    EXPECT_EQ(masterList, (std::vector<std::string>{lines[0], lines[99'998], lines[99'999]}));
    EXPECT_EQ(addresses(), (std::vector<std::string>{lines[0], lines[99'998]}));
    EXPECT_EQ(labels.total, "Total server count: 2");
    EXPECT_EQ(fileText(cachePath()).size(), list.find(lines[100'000]));
}

// The refresh on top of a cut list: one placeholder row and one query per address kept, never more.
TEST_F(MasterListTest, ARefreshOfALongListStartsAQueryForEachKeptAddressOnly)
{
    class NullView final : public RefreshView
    {
      public:
        void setCacheLabelVisible(bool) override {}
        void setTotalLabel(const std::string &) override {}
        void setPlayersLabel(const std::string &) override {}
        void setServersLabel(const std::string &) override {}
        void setProgressPanelVisible(bool visible) override { m_panel = visible; }
        bool isProgressPanelVisible() const override { return m_panel; }
        void setProgressMaximum(int) override {}
        void setProgressPosition(int) override {}
        void setCancelCaption(const std::string &) override {}
        void clearMapPicture() override {}
        void setMenuItemEnabled(RefreshMenuItem, bool) override {}
        void ListBox1_servernameClick() override {}

      private:
        bool m_panel = false;
    };

#if defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "a hundred thousand thread starts take minutes under ThreadSanitizer; the threads' own "
                    "bookkeeping is checked in the refresh engine's tests";
#endif
    const std::string list = addressLines(150'000) + "END";
    std::mutex lock;
    std::vector<std::string> queried;
    RefreshEngine::Options options;
    options.applyAffinity = [](std::uint64_t) { return true; };
    // Every server is silent at once; the first one answers, so that its row is kept.
    options.exchange = [&](const std::string &address, const std::atomic<bool> &, const ExchangeHooks &) {
        std::lock_guard guard(lock);
        queried.push_back(address);
        ExchangeResult result;
        if (address == "10.0.0.0:10481") {
            result.accepted = true;
            result.reply = "\\hostname\\first\\numplayers\\1\\maxplayers\\8\\final\\\\eof\\";
            result.pingMs = 20;
        }
        return result;
    };
    SettingsStore settings(folder.file("PELORIX.reg"));
    SleepingEventPump pump;
    NullView view;
    RefreshEngine engine(
        table, settings, dialogs, pump, view, [&list](const std::string &, const std::string &) { return list; },
        options);
    engine.setProgramFolder(folder.path());
    engine.refresh_imageClick();

    EXPECT_EQ(engine.lastEnd(), RefreshEnd::Completed);
    EXPECT_EQ(engine.MasterList().size(), kMaxListLines);
    EXPECT_EQ(engine.counters().threadsStarted, 99'999);
    EXPECT_LE(engine.counters().peakActiveQueries, 100);
    std::lock_guard guard(lock);
    std::sort(queried.begin(), queried.end());
    auto expected = firstLines(list, 99'999);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(queried, expected);
    EXPECT_EQ(table.columnItems(ListBox6_ipaddress), std::vector<std::string>{"10.0.0.0:10481"});
    EXPECT_EQ(table.rowCount(ListBox1_servername), 1);
}

TEST(WhiteListFile, EveryLineIsAnEntryUpToTheFirstNul)
{
    EXPECT_EQ(whiteListLines("a\r\nb\nc\rd\0e\r\n"s), (std::vector<std::string>{"a", "b", "c", "d"}));
    EXPECT_EQ(whiteListLines("a\r\n\r\n\nb\r\n"), (std::vector<std::string>{"a", "", "", "b"}));
    EXPECT_TRUE(whiteListLines("").empty());

    TempDir folder;
    EXPECT_FALSE(LoadWhiteList(folder.path()).exists);
    EXPECT_TRUE(LoadWhiteList(folder.path()).entries.empty());
    ASSERT_TRUE(writeFileAtomically(folder.file("white_list.txt"), "1.2.3.4:10480\r\n\r\n5.6.7.8:10480"));
    const WhiteListFile file = LoadWhiteList(folder.path());
    EXPECT_TRUE(file.exists);
    EXPECT_EQ(file.entries, (std::vector<std::string>{"1.2.3.4:10480", "", "5.6.7.8:10480"}));
    EXPECT_TRUE(isWhiteListed("A.b:1", {"x", "a.B:1"}));
    EXPECT_FALSE(isWhiteListed("a.b:1", {" a.b:1"}));
}

// The notice shows whenever the file is there; the filter only when the file gave entries.
TEST(WhiteListFile, ExistingIsToldApartFromTheEntries)
{
    const std::string longList = addressLines(150'000);
    struct Case {
        std::string name;
        std::function<void(const std::string &path)> make;
        bool exists;
        std::vector<std::string> entries;
    };
    const Case cases[] = {
        {"missing", [](const std::string &) {}, false, {}},
        {"empty", [](const std::string &path) { ASSERT_TRUE(writeFileAtomically(path, "")); }, true, {}},
        {"a folder", [](const std::string &path) { ASSERT_EQ(::mkdir(path.c_str(), 0755), 0); }, true, {}},
        {"a FIFO", [](const std::string &path) { ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0); }, true, {}},
        {"a link to nowhere",
         [](const std::string &path) { ASSERT_EQ(::symlink("gone.txt", path.c_str()), 0); },
         false,
         {}},
        {"NUL ends it",
         [](const std::string &path) { ASSERT_TRUE(writeFileAtomically(path, "a:1\r\nb:2\0c:3"s)); },
         true,
         {"a:1", "b:2"}},
        {"150,000 lines", [&](const std::string &path) { ASSERT_TRUE(writeFileAtomically(path, longList)); }, true,
         firstLines(longList, 100'000)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        c.make(folder.file("white_list.txt"));
        const WhiteListFile file = LoadWhiteList(folder.path());
        EXPECT_EQ(file.exists, c.exists);
        EXPECT_EQ(file.entries, c.entries);
    }
    if (::geteuid() != 0) {
        TempDir folder;
        ASSERT_TRUE(writeFileAtomically(folder.file("white_list.txt"), "1.2.3.4:10480\r\n"));
        ASSERT_EQ(::chmod(folder.file("white_list.txt").c_str(), 0), 0);
        const WhiteListFile file = LoadWhiteList(folder.path());
        EXPECT_TRUE(file.exists);
        EXPECT_TRUE(file.entries.empty());
    }
}

const std::string kInfoPrefix =
    "The white list will be generated from the list of servers that are currently visible to you. (depending also "
    "on your FILTERS settings)\r\nYou can send the white list to any user who has issues refreshing the server "
    "list.\r\n\r\nCurrently visible servers: ";

TEST(GenerateWhiteList, NothingVisibleReportsAndWritesNoFile)
{
    ServerTable table;
    ScriptedDialogs dialogs;
    dialogs.setNextFileName(std::string("/nonexistent/never.txt"));
    EXPECT_FALSE(G1Click(table, dialogs));
    ASSERT_EQ(dialogs.shown().size(), 2u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Information);
    EXPECT_EQ(dialogs.shown()[0].text, kInfoPrefix + "0");
    EXPECT_EQ(dialogs.shown()[1].kind, DialogKind::Error);
    EXPECT_EQ(dialogs.shown()[1].text, "No servers are visible!\r\nPlease adjust your FILTERS and refresh.");
    EXPECT_TRUE(dialogs.fileRequests().empty());
}

TEST(GenerateWhiteList, WritesTheAddressColumnWithCrLf)
{
    TempDir folder;
    ServerTable table;
    table.setColumnItems(ListBox6_ipaddress, {"1.2.3.4:10481", "5.6.7.8:10481"});
    ScriptedDialogs dialogs;
    const std::string target = folder.file("mine.txt");
    ASSERT_TRUE(writeFileAtomically(target, "previous content that is longer"));
    dialogs.setNextFileName(target);
    EXPECT_TRUE(G1Click(table, dialogs));
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].text, kInfoPrefix + "2");
    ASSERT_EQ(dialogs.fileRequests().size(), 1u);
    const auto &request = dialogs.fileRequests()[0];
    EXPECT_EQ(request.title, "Save white_list.txt");
    EXPECT_EQ(request.defaultFileName, "white_list.txt");
    EXPECT_EQ(request.filterName, "*.txt");
    EXPECT_EQ(request.filterPattern, "*.txt");
    EXPECT_FALSE(request.promptOverwrite);
    EXPECT_EQ(fileText(target), "1.2.3.4:10481\r\n5.6.7.8:10481\r\n");

    // The written file reads back as the same white list.
    ASSERT_TRUE(writeFileAtomically(folder.file("white_list.txt"), fileText(target)));
    const WhiteListFile file = LoadWhiteList(folder.path());
    ASSERT_TRUE(file.exists);
    EXPECT_EQ(file.entries, table.columnItems(ListBox6_ipaddress));
}

TEST(GenerateWhiteList, CancelledSaveWritesNothing)
{
    TempDir folder;
    ServerTable table;
    table.setColumnItems(ListBox6_ipaddress, {"1.2.3.4:10481"});
    ScriptedDialogs dialogs;
    dialogs.setNextFileName(std::nullopt);
    EXPECT_FALSE(G1Click(table, dialogs));
    EXPECT_EQ(dialogs.fileRequests().size(), 1u);
    EXPECT_EQ(folderEntries(folder.path()), std::vector<std::string>{});
}

TEST(WhiteListNotice, NamesTheFileInTheProgramFolder)
{
    ScriptedDialogs dialogs;
    Label3Click("/opt/pelorix/", dialogs);
    ASSERT_EQ(dialogs.shown().size(), 1u);
    EXPECT_EQ(dialogs.shown()[0].kind, DialogKind::Information);
    EXPECT_EQ(dialogs.shown()[0].text,
              "The white_list.txt file is in use, you will see only servers that are mentioned in the file !\r\n"
              "If you wish to deactivate the use of the file, please remove it.\r\n\r\nLocation: "
              "/opt/pelorix/white_list.txt");
}

TEST(MasterListThroughWebClient, ServiceReplyFillsTheColumn)
{
    test::LoopbackHttpServer server;
    server.setDefaultReply(test::LoopbackHttpServer::lengthReply("1.2.3.4:10481\n5.6.7.8:10481\nEND\n"));
    ::setenv("PELORIX_MASTER_HOST", server.hostPort().c_str(), 1);
    TempDir folder;
    SettingsStore settings(folder.file("PELORIX.reg"));
    SleepingEventPump pump;
    ScriptedDialogs dialogs;
    WebClient web(settings, pump, dialogs);
    ServerTable table;
    RecordingLabels labels;
    MasterListContext context;
    context.webGet = [&web](const std::string &a, const std::string &ua) { return web.WebGet(a, ua); };
    context.dialogs = &dialogs;
    context.table = &table;
    context.labels = &labels;
    context.programFolder = folder.path();
    const auto outcome = GetMasterList(context);
    EXPECT_TRUE(outcome.obtained);
    EXPECT_FALSE(outcome.fromCache);
    EXPECT_EQ(table.columnItems(ListBox6_ipaddress), (std::vector<std::string>{"1.2.3.4:10481", "5.6.7.8:10481"}));
    EXPECT_EQ(fileText(folder.file("cache.dat")), "1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND\r\n");
    ASSERT_EQ(server.requests().size(), 1u);
    EXPECT_NE(server.requests()[0].find("GET /vekta4list.php?s="), std::string::npos);
}

} // namespace
} // namespace pelorix
