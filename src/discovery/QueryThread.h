#pragma once

#include "discovery/StatusExchange.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelorix
{

// Milliseconds of a monotonic tick clock.
std::int64_t tickMs();

// The stop request and life state of one query thread, shared by the thread, the registry and the engine.
struct QueryControl {
    std::atomic<bool> stopRequested{false}; // a forced stop, obeyed between receive windows
    std::atomic<bool> finished{false};      // the thread function has returned
    std::atomic<bool> countedOut{false};
    std::atomic<bool> requestSent{false}; // set by the exchange once its request datagram has gone out
};

// ThreadRegistry: one "id|startMs" entry per query thread started, with a lock of its own.
// The id is the thread's number in this process; the control stays valid while its entry exists.
class ThreadRegistry
{
  public:
    void add(std::uint64_t id, std::int64_t startMs, std::shared_ptr<QueryControl> control);
    // The watchdog's pass, from the last entry to the first: every entry older than ageMs is deleted, and its
    // thread is asked to stop when it is still running. Returns the number of threads asked to stop.
    int sweep(std::int64_t nowMs, int ageMs);
    std::vector<std::string> entries() const;
    int size() const;

  private:
    mutable std::mutex m_lock;
    std::vector<std::string> m_entries;
    std::map<std::uint64_t, std::shared_ptr<QueryControl>> m_controls;
};

// Next value of AffinityCounter as one atomic read-modify-write: returns the mask for this thread
// (1 .. processorCount + 1) and leaves the counter at 0 once it exceeded processorCount.
std::uint64_t nextAffinityMask(std::atomic<int> &affinityCounter, int processorCount);

// State shared by every query thread of the engine, for the engine's whole life.
struct QueryShared {
    std::atomic<bool> CancelRequested{false};
    std::atomic<int> AffinityCounter{0};
    int ProcessorCount = 1;
    int deadlineMs = 800; // a thread is counted out at this age, or at its end when that comes first
    std::function<bool(std::uint64_t)> applyAffinity;
    std::function<void(std::uint64_t)> onAffinityMask;
    // The exchange a query runs; empty: RunRefreshExchange.
    RefreshExchangeFunction exchange;
    ThreadRegistry registry;
    std::atomic<std::uint64_t> nextThreadId{1};

    std::atomic<int> threadsStarted{0};
    std::atomic<int> peakActiveQueries{0};
    std::atomic<int> minActiveQueries{0};
    std::atomic<int> forcedStops{0};
    std::atomic<int> lateAnswersDropped{0};
};

// The state of one refresh's query stage. A new refresh gets a new one, so an answer of an earlier refresh can
// never land in a later refresh's lists; the refresh closes its own once its final wait is over.
struct RefreshRun {
    std::atomic<int> ActiveQueries{0};
    std::mutex ResultGate;
    // Guarded by ResultGate: the three reply lists, appended as one unit, and whether answers are still taken.
    bool open = true;
    std::vector<std::string> ReplyAddresses;
    std::vector<std::string> ReplyTexts;
    std::vector<std::string> ReplyPings;
};

// One status query of a refresh, on its own std::thread. Counted in by the refresh when started (so the cap holds
// before the thread gets a processor), counted out exactly once: at its deadline or at its end.
class TQueryThread
{
  public:
    TQueryThread(std::string address, std::shared_ptr<QueryShared> shared, std::shared_ptr<RefreshRun> run);
    ~TQueryThread(); // asks for a stop and joins
    TQueryThread(const TQueryThread &) = delete;
    TQueryThread &operator=(const TQueryThread &) = delete;

    // Counts the thread in, registers it and starts it. Throws std::system_error when no thread can be made
    // (it is then counted out and unregistered again).
    void start();
    bool finished() const { return m_control->finished.load(); }
    // Counts the thread out once its deadline has passed before its request went out: a thread that cannot reach
    // its own deadline check (a host name lookup that takes seconds) does not hold a place among the counted.
    // A thread that has sent reaches its own checks in time, and one with an answer in hand must keep its place
    // until it has recorded the answer, or the refresh stops waiting for it and drops the answer as late.
    void countOutIfOverdue();
    void requestStop() { m_control->stopRequested.store(true); }
    void join();
    const std::string &address() const { return m_address; }
    std::uint64_t id() const { return m_id; }

  private:
    void run();
    void countOut();

    std::string m_address;
    std::shared_ptr<QueryShared> m_shared;
    std::shared_ptr<RefreshRun> m_run;
    std::shared_ptr<QueryControl> m_control;
    std::uint64_t m_id = 0;
    std::chrono::steady_clock::time_point m_start;
    std::int64_t m_startMs = 0;
    std::thread m_thread;
};

} // namespace pelorix
