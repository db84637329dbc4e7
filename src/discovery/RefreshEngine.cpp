#include "discovery/RefreshEngine.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/ServerTable.h"
#include "discovery/QueryThread.h"
#include "platform/Affinity.h"
#include "platform/ProgramFolder.h"
#include "platform/TrimWorkingSet.h"

#include <chrono>
#include <stdexcept>
#include <unordered_map>
#include <unordered_set>

namespace pelorix
{

namespace
{

// Clears a flag on every way out of a scope.
class FlagGuard
{
  public:
    explicit FlagGuard(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~FlagGuard() { m_flag = false; }
    FlagGuard(const FlagGuard &) = delete;
    FlagGuard &operator=(const FlagGuard &) = delete;

  private:
    bool &m_flag;
};

// Closes a refresh's reply lists: answers that reach the gate afterwards are dropped.
void closeRun(RefreshRun &run)
{
    std::lock_guard gate(run.ResultGate);
    run.open = false;
}

} // namespace

RefreshEngine::RefreshEngine(ServerTable &table, SettingsStore &settings, Dialogs &dialogs, EventPump &pump,
                             RefreshView &view, WebGetFunction webGet)
    : RefreshEngine(table, settings, dialogs, pump, view, std::move(webGet), Options{})
{
}

RefreshEngine::RefreshEngine(ServerTable &table, SettingsStore &settings, Dialogs &dialogs, EventPump &pump,
                             RefreshView &view, WebGetFunction webGet, Options options)
    : m_table(table)
    , m_settings(settings)
    , m_dialogs(dialogs)
    , m_pump(pump)
    , m_view(view)
    , m_webGet(std::move(webGet))
    , m_options(std::move(options))
    , m_programFolder(ProgramFolder())
    , m_shared(std::make_shared<QueryShared>())
{
    m_shared->ProcessorCount = m_options.processorCount > 0 ? m_options.processorCount : systemProcessorCount();
    m_shared->applyAffinity = m_options.applyAffinity ? m_options.applyAffinity : [](std::uint64_t mask) {
        return setCurrentThreadAffinityMask(mask);
    };
    m_shared->onAffinityMask = m_options.onAffinityMask;
    m_shared->exchange = m_options.exchange;
}

RefreshEngine::~RefreshEngine()
{
    stopAndJoinAll();
}

bool RefreshEngine::CancelRequested() const
{
    return m_shared->CancelRequested.load();
}

int RefreshEngine::ProcessorCount() const
{
    return m_shared->ProcessorCount;
}

int RefreshEngine::ActiveQueries() const
{
    return m_run ? m_run->ActiveQueries.load() : 0;
}

RefreshCounters RefreshEngine::counters() const
{
    RefreshCounters c;
    c.threadsStarted = m_shared->threadsStarted.load();
    c.peakActiveQueries = m_shared->peakActiveQueries.load();
    c.minActiveQueries = m_shared->minActiveQueries.load();
    c.forcedStops = m_shared->forcedStops.load();
    c.lateAnswersDropped = m_shared->lateAnswersDropped.load();
    c.refreshesCompleted = m_refreshesCompleted;
    c.refreshesCancelled = m_refreshesCancelled;
    return c;
}

std::vector<std::string> RefreshEngine::reorderAddresses(const std::vector<std::string> &column,
                                                         const std::vector<std::string> &replyAddresses)
{
    std::unordered_map<std::string, int> listed;
    for (const auto &row : column)
        ++listed[row];
    std::vector<std::string> reordered;
    reordered.reserve(std::min(column.size(), replyAddresses.size()));
    std::unordered_set<std::string> taken;
    for (const auto &address : replyAddresses) {
        if (!taken.insert(address).second)
            continue;
        const auto it = listed.find(address);
        if (it == listed.end())
            continue;
        for (int n = 0; n < it->second; ++n)
            reordered.push_back(address);
    }
    return reordered;
}

void RefreshEngine::refresh_imageClick()
{
    // A request during a refresh only cancels it. A refresh counts as running until its threads' final wait
    // has ended, also after Cancel hid the panel, so two refreshes never interleave.
    m_refreshStep = 0;
    m_shared->CancelRequested.store(true);
    if (m_view.isProgressPanelVisible() || m_inProgress) {
        ++m_refreshesCancelled;
        m_lastEnd = RefreshEnd::CancelOnly;
        return;
    }
    FlagGuard running(m_inProgress);
    runRefresh();
}

void RefreshEngine::runRefresh()
{
    // A new refresh: statistics, progress and the cancel flag start afresh.
    m_serversOnline = 0;
    m_playersOnline = 0;
    m_view.setProgressPosition(0);
    m_view.setCancelCaption("Cancel");
    m_shared->CancelRequested.store(false);
    m_refreshStep = 10;

    try {
        // Clear the map, lock the name column and the menu, empty and hide the table, show the progress panel.
        m_view.clearMapPicture();
        m_refreshStep = 20;
        m_table.setEnabled(ListBox1_servername, false);
        m_view.setMenuItemEnabled(RefreshMenuItem::Showplayers2, false);
        m_view.setMenuItemEnabled(RefreshMenuItem::Updatesingle1, false);
        m_refreshStep = 30;
        m_table.ClearTable();
        m_view.setMenuItemEnabled(RefreshMenuItem::Joinserver1, false);
        m_table.SetColumnsVisible(false, true);
        m_pump.processPendingEvents();
        PumpWait(m_pump, 10);
        m_refreshStep = 40;
        m_view.setProgressPanelVisible(true);

        // The master list fills the address column.
        MasterListContext context;
        context.webGet = m_webGet;
        context.dialogs = &m_dialogs;
        context.table = &m_table;
        context.labels = &m_view;
        context.programFolder = m_programFolder;
        context.whiteList = &m_whiteList;
        context.refreshStep = &m_refreshStep;
        context.masterList = &m_masterList;
        const MasterListOutcome list = GetMasterList(context);
        m_lastFromCache = list.fromCache;
        if (!list.obtained) {
            m_lastEnd = RefreshEnd::NoList;
            return; // the panel stays up; the final pass does not run
        }

        // A new run, so no answer of an earlier refresh can reach this one's lists.
        m_refreshStep = 80;
        if (m_run)
            closeRun(*m_run);
        m_run = std::make_shared<RefreshRun>();
        const int count = m_table.rowCount(ListBox6_ipaddress);
        m_view.setProgressMaximum(count - 1);
        m_shared->CancelRequested.store(false);
        m_refreshStep = 82;

        // One placeholder row and one query thread per address, never more than the cap counted in.
        for (int i = 0; i < count; ++i) {
            try {
                m_refreshStep = 101;
                m_table.AppendPlaceholderRow();
                m_refreshStep = 110;
            } catch (...) {
                m_dialogs.message(DialogKind::Error, "Error #?");
            }
            if (m_shared->CancelRequested.load())
                break;
            waitForActiveBelow(m_options.maxActiveQueries);
            m_pump.processPendingEvents();
            m_view.setProgressPosition(i);
            if (i >= m_table.rowCount(ListBox6_ipaddress))
                throw std::out_of_range("address column shorter than the list");
            startQuery(m_table.cell(ListBox6_ipaddress, i));
        }

        // Wait until every thread is counted out, then close the lists: what reaches the gate from now on is a
        // late answer and is dropped.
        waitForActiveBelow(1);
        std::vector<std::string> replyAddresses;
        std::vector<std::string> replyTexts;
        std::vector<std::string> replyPings;
        {
            std::lock_guard gate(m_run->ResultGate);
            m_run->open = false;
            replyAddresses = m_run->ReplyAddresses;
            replyTexts = m_run->ReplyTexts;
            replyPings = m_run->ReplyPings;
        }

        // The query stage is over.
        TrimWorkingSet();
        m_view.setProgressPanelVisible(false);
        m_pump.processPendingEvents();

        // The address column in answer order.
        m_table.setColumnItems(ListBox6_ipaddress,
                               reorderAddresses(m_table.columnItems(ListBox6_ipaddress), replyAddresses));

        // Each answered row is written or deleted.
        const ReplyListsView replies{replyAddresses, replyTexts, replyPings};
        RowPassState state{m_refreshStep, m_playersOnline, m_serversOnline, SearchedPlayer, PlayerFound};
        RunRowPass(m_table, m_settings, m_dialogs, replies, m_shared->CancelRequested, state, m_view);

        // Show the table again.
        m_refreshStep = 210;
        m_view.setProgressPanelVisible(false);
        m_table.setEnabled(ListBox1_servername, true);
        m_table.SetColumnsVisible(true, true);

        // Select row 0 and let the name column's click handler enable the menu.
        m_table.setSelectedIndex(ListBox1_servername, 0);
        m_view.ListBox1_servernameClick();
        m_refreshStep = 211;
        SearchedPlayer.clear();
        ++m_refreshesCompleted;
        m_lastEnd = RefreshEnd::Completed;
    } catch (...) {
        m_lastEnd = RefreshEnd::Fault;
        if (m_run)
            closeRun(*m_run);
        m_dialogs.message(DialogKind::Error, "Error: #" + std::to_string(m_refreshStep));
        // The address column never holds more rows than the others: a fault in the query stage leaves the
        // addresses of rows that were never made.
        const int rows = m_table.rowCount(ListBox1_servername);
        if (m_table.rowCount(ListBox6_ipaddress) > rows) {
            std::vector<std::string> addresses = m_table.columnItems(ListBox6_ipaddress);
            addresses.resize(static_cast<size_t>(rows));
            m_table.setColumnItems(ListBox6_ipaddress, std::move(addresses));
        }
    }

    // The final pass runs also after a fault; neither the cancel-only request nor a missing list gets here.
    RunFinalPass(m_table, m_hideNonAccessible);
}

void RefreshEngine::startQuery(const std::string &address)
{
    auto thread = std::make_unique<TQueryThread>(address, m_shared, m_run);
    thread->start();
    m_threads.push_back(std::move(thread));
}

void RefreshEngine::waitForActiveBelow(int limit)
{
    reapFinishedThreads();
    while (m_run->ActiveQueries.load() >= limit) {
        m_pump.waitForEvents(std::chrono::milliseconds(2));
        m_pump.processPendingEvents();
        reapFinishedThreads();
        // Only a query that has not sent yet can miss its own deadline check.
        for (auto &thread : m_threads)
            thread->countOutIfOverdue();
    }
}

void RefreshEngine::cancel_ping_buttonClick()
{
    watchdogPass();
    m_view.setProgressPanelVisible(false);
    m_shared->CancelRequested.store(true);
}

void RefreshEngine::Thread_killerTimer()
{
    watchdogPass();
    reapFinishedThreads();
}

void RefreshEngine::watchdogPass()
{
    m_shared->forcedStops.fetch_add(m_shared->registry.sweep(tickMs(), m_options.watchdogAgeMs));
}

void RefreshEngine::stopAll()
{
    m_shared->CancelRequested.store(true);
    for (auto &thread : m_threads)
        thread->requestStop();
}

void RefreshEngine::reapFinishedThreads()
{
    for (auto it = m_threads.begin(); it != m_threads.end();) {
        if ((*it)->finished()) {
            (*it)->join();
            it = m_threads.erase(it);
        } else {
            ++it;
        }
    }
}

void RefreshEngine::stopAndJoinAll()
{
    stopAll();
    for (auto &thread : m_threads)
        thread->join();
    m_threads.clear();
}

} // namespace pelorix
