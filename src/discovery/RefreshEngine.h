#pragma once

#include "discovery/MasterList.h"
#include "discovery/RowPass.h"
#include "discovery/StatusExchange.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace pelorix
{

class Dialogs;
class EventPump;
class ServerTable;
class SettingsStore;
struct QueryShared;
struct RefreshRun;
class TQueryThread;

// The popup-menu items the refresh disables while it runs.
enum class RefreshMenuItem { Showplayers2, Updatesingle1, Joinserver1 };

// Everything a refresh shows outside the table. The main window implements it with its widgets,
// the command-line browser with a progress line, tests with a recorder. Called on the UI thread only.
class RefreshView : public MasterListLabels, public StatisticsLabels
{
  public:
    // sprogressbar2, the progress panel with ProgressBar, cancel_ping_button and Label_Cache.
    virtual void setProgressPanelVisible(bool visible) = 0;
    virtual bool isProgressPanelVisible() const = 0;
    // ProgressBar: a plain bar, maximum and position.
    virtual void setProgressMaximum(int maximum) = 0;
    virtual void setProgressPosition(int position) = 0;
    // cancel_ping_button's caption ("Cancel").
    virtual void setCancelCaption(const std::string &caption) = 0;
    // Label_Cache and Label_serverall come from MasterListLabels, Label_players and label_servers from
    // StatisticsLabels.
    // MAP_picture: cleared when a refresh begins.
    virtual void clearMapPicture() = 0;
    virtual void setMenuItemEnabled(RefreshMenuItem item, bool enabled) = 0;
    // ListBox1_servernameClick, run after the refresh has selected row 0 of the name column.
    virtual void ListBox1_servernameClick() = 0;
};

// How the last refresh_imageClick ended.
enum class RefreshEnd {
    None,       // no refresh yet
    Completed,  // the table was filled and row 0 selected
    NoList,     // neither the service nor cache.dat gave a list
    Fault,      // the "Error: #" message ended it
    CancelOnly, // a refresh was in progress: the request only set CancelRequested
};

// What the query threads of one refresh count and drop; for tests and benchmarks.
struct RefreshCounters {
    int threadsStarted = 0;     // over the engine's life
    int peakActiveQueries = 0;  // highest ActiveQueries seen by a thread counting itself in
    int minActiveQueries = 0;   // lowest ActiveQueries seen by a thread counting itself out (never below 0)
    int forcedStops = 0;        // stop requests of the watchdog (and Cancel) to threads still running
    int lateAnswersDropped = 0; // accepted answers that reached the gate after their refresh's final wait
    int refreshesCompleted = 0; // refreshes that filled the table and selected row 0
    int refreshesCancelled = 0; // requests that only set CancelRequested
};

// The refresh: master list, one TQueryThread per address (at most 100 counted in), the reorder of the
// address column, the row pass and the final pass. Everything here runs on the UI thread; the query threads
// share only QueryShared and their refresh's RefreshRun, held by shared_ptr, and the engine's destructor asks
// every thread to stop and joins it, so no thread outlives what it writes to.
//
// Deliberate difference from the plain "visible panel means running" rule: a refresh requested while any refresh
// is still in progress (also a cancelled one whose panel is hidden but which still waits for its threads) only
// sets CancelRequested, so two refreshes never interleave.
// A query still without its request sent at its 800 ms deadline (a host name lookup that hangs) is counted out by
// the refresh's own waits; once it has sent, only its own deadline checks and its end count it out.
class RefreshEngine
{
  public:
    struct Options {
        int maxActiveQueries = 100;
        int watchdogAgeMs = 1000;
        // 0: the system's processor count (1 when unknown).
        int processorCount = 0;
        // Restricts the calling thread to a processor mask; false when refused. Default: the platform's.
        std::function<bool(std::uint64_t mask)> applyAffinity;
        // Called by each query thread with the mask it was given (tests); may run on any thread.
        std::function<void(std::uint64_t mask)> onAffinityMask;
        // The status exchange each query runs; empty: the UDP exchange. Tests put scripted ones here.
        RefreshExchangeFunction exchange;
    };

    RefreshEngine(ServerTable &table, SettingsStore &settings, Dialogs &dialogs, EventPump &pump, RefreshView &view,
                  WebGetFunction webGet);
    RefreshEngine(ServerTable &table, SettingsStore &settings, Dialogs &dialogs, EventPump &pump, RefreshView &view,
                  WebGetFunction webGet, Options options);
    ~RefreshEngine();
    RefreshEngine(const RefreshEngine &) = delete;
    RefreshEngine &operator=(const RefreshEngine &) = delete;

    // Starts a refresh, or cancels the running one. Returns when the refresh has ended (it pumps events meanwhile).
    void refresh_imageClick();
    // The Cancel button: the watchdog's pass at once, hide the panel, set CancelRequested.
    void cancel_ping_buttonClick();
    // The watchdog tick; the window's Thread_killer calls it every 1000 ms, the command-line browser from its pump.
    void Thread_killerTimer();
    // The program is ending: cancel, and ask every query thread to stop. A refresh in progress then ends within
    // about one receive window; the engine may be destroyed once refresh_imageClick has returned.
    void stopAll();

    // The program folder with cache.dat and white_list.txt (default: ProgramFolder()).
    void setProgramFolder(std::string folder) { m_programFolder = std::move(folder); }
    const std::string &programFolder() const { return m_programFolder; }
    // WhiteList: loaded once at start-up (LoadWhiteList); empty means none in force.
    void setWhiteList(std::vector<std::string> whiteList) { m_whiteList = std::move(whiteList); }
    const std::vector<std::string> &WhiteList() const { return m_whiteList; }
    const std::vector<std::string> &MasterList() const { return m_masterList; }

    // JvgCheckBox2, "Hide Non Accessible Servers": checked at start-up, read by the final pass.
    void setJvgCheckBox2(bool checked) { m_hideNonAccessible = checked; }
    bool JvgCheckBox2() const { return m_hideNonAccessible; }

    // "Find player" sets it; the row pass reports the first visible match and empties it, and the end of every
    // refresh empties it.
    std::string SearchedPlayer;
    bool PlayerFound = false;

    int RefreshStep() const { return m_refreshStep; }
    bool CancelRequested() const;
    int ProcessorCount() const;
    // Query threads counted in now.
    int ActiveQueries() const;
    // True from the start of a refresh until it has ended, its threads' final wait included.
    bool refreshInProgress() const { return m_inProgress; }
    RefreshEnd lastEnd() const { return m_lastEnd; }
    // The list of the last refresh came from cache.dat.
    bool lastListFromCache() const { return m_lastFromCache; }
    // Query threads not yet joined; joinFinishedThreads joins those that have ended (the waits and the watchdog
    // tick do it as well).
    int liveThreads() const { return static_cast<int>(m_threads.size()); }
    void joinFinishedThreads() { reapFinishedThreads(); }
    RefreshCounters counters() const;

    // The reorder of the address column: each answered address, in the order of its first answer, once for every
    // row of the column that lists it. An address answered twice therefore never gives more rows than were listed.
    static std::vector<std::string> reorderAddresses(const std::vector<std::string> &column,
                                                     const std::vector<std::string> &replyAddresses);

  private:
    void runRefresh();
    void startQuery(const std::string &address);
    void waitForActiveBelow(int limit);
    void watchdogPass();
    void reapFinishedThreads();
    void stopAndJoinAll();

    ServerTable &m_table;
    SettingsStore &m_settings;
    Dialogs &m_dialogs;
    EventPump &m_pump;
    RefreshView &m_view;
    WebGetFunction m_webGet;
    Options m_options;
    std::string m_programFolder;
    std::vector<std::string> m_whiteList;
    std::vector<std::string> m_masterList;
    bool m_hideNonAccessible = true;
    int m_playersOnline = 0;
    int m_serversOnline = 0;
    int m_refreshStep = 0;
    bool m_inProgress = false;
    bool m_lastFromCache = false;
    RefreshEnd m_lastEnd = RefreshEnd::None;
    int m_refreshesCompleted = 0;
    int m_refreshesCancelled = 0;
    std::shared_ptr<QueryShared> m_shared;
    std::shared_ptr<RefreshRun> m_run;
    std::vector<std::unique_ptr<TQueryThread>> m_threads;
};

} // namespace pelorix
