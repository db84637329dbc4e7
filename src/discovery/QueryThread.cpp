#include "discovery/QueryThread.h"

#include "discovery/StatusExchange.h"

#include <algorithm>
#include <chrono>
#include <system_error>

namespace pelorix
{

std::int64_t tickMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void ThreadRegistry::add(std::uint64_t id, std::int64_t startMs, std::shared_ptr<QueryControl> control)
{
    std::lock_guard lock(m_lock);
    m_entries.push_back(std::to_string(id) + "|" + std::to_string(startMs));
    m_controls[id] = std::move(control);
}

int ThreadRegistry::sweep(std::int64_t nowMs, int ageMs)
{
    std::lock_guard lock(m_lock);
    int stopped = 0;
    for (auto i = m_entries.size(); i-- > 0;) {
        const std::string &entry = m_entries[i];
        const auto bar = entry.find('|');
        const std::uint64_t id = std::stoull(entry.substr(0, bar));
        const std::int64_t start = std::stoll(entry.substr(bar + 1));
        if (nowMs - start <= ageMs)
            continue;
        const auto it = m_controls.find(id);
        if (it != m_controls.end()) {
            if (!it->second->finished.load()) {
                it->second->stopRequested.store(true);
                ++stopped;
            }
            m_controls.erase(it);
        }
        m_entries.erase(m_entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
    return stopped;
}

std::vector<std::string> ThreadRegistry::entries() const
{
    std::lock_guard lock(m_lock);
    return m_entries;
}

int ThreadRegistry::size() const
{
    std::lock_guard lock(m_lock);
    return static_cast<int>(m_entries.size());
}

std::uint64_t nextAffinityMask(std::atomic<int> &affinityCounter, int processorCount)
{
    int current = affinityCounter.load();
    int next = 0;
    do {
        next = current + 1;
    } while (!affinityCounter.compare_exchange_weak(current, next > processorCount ? 0 : next));
    return static_cast<std::uint64_t>(next);
}

TQueryThread::TQueryThread(std::string address, std::shared_ptr<QueryShared> shared, std::shared_ptr<RefreshRun> run)
    : m_address(std::move(address))
    , m_shared(std::move(shared))
    , m_run(std::move(run))
    , m_control(std::make_shared<QueryControl>())
{
}

TQueryThread::~TQueryThread()
{
    requestStop();
    join();
}

void TQueryThread::join()
{
    if (m_thread.joinable())
        m_thread.join();
}

void TQueryThread::start()
{
    m_id = m_shared->nextThreadId.fetch_add(1);
    m_start = std::chrono::steady_clock::now();
    m_startMs = tickMs();
    m_shared->registry.add(m_id, m_startMs, m_control);
    const int active = m_run->ActiveQueries.fetch_add(1) + 1;
    int peak = m_shared->peakActiveQueries.load();
    while (active > peak && !m_shared->peakActiveQueries.compare_exchange_weak(peak, active)) {
    }
    try {
        m_thread = std::thread([this] { run(); });
    } catch (...) {
        countOut();
        m_control->finished.store(true);
        throw;
    }
    m_shared->threadsStarted.fetch_add(1);
}

void TQueryThread::countOutIfOverdue()
{
    if (m_thread.joinable() && !m_control->requestSent.load() &&
        std::chrono::steady_clock::now() > m_start + std::chrono::milliseconds(m_shared->deadlineMs))
        countOut();
}

void TQueryThread::countOut()
{
    if (m_control->countedOut.exchange(true))
        return;
    const int left = m_run->ActiveQueries.fetch_sub(1) - 1;
    int low = m_shared->minActiveQueries.load();
    while (left < low && !m_shared->minActiveQueries.compare_exchange_weak(low, left)) {
    }
}

void TQueryThread::run()
{
    const std::uint64_t mask = nextAffinityMask(m_shared->AffinityCounter, m_shared->ProcessorCount);
    if (m_shared->applyAffinity)
        m_shared->applyAffinity(mask);
    if (m_shared->onAffinityMask)
        m_shared->onAffinityMask(mask);

    // Measured on the full-resolution clock: a first window that ended just after 800 ms is past the deadline.
    const auto deadline = m_start + std::chrono::milliseconds(m_shared->deadlineMs);
    ExchangeHooks hooks;
    hooks.deadlineCheck = [this, deadline] {
        if (std::chrono::steady_clock::now() > deadline)
            countOut();
    };
    hooks.stopRequested = &m_control->stopRequested;
    hooks.requestSent = &m_control->requestSent;
    const auto &exchange = m_shared->exchange ? m_shared->exchange : RefreshExchangeFunction(RunRefreshExchange);
    const ExchangeResult result = exchange(m_address, m_shared->CancelRequested, hooks);

    if (!m_control->stopRequested.load()) {
        // Waits for the gate; a deadline passing meanwhile counts the thread out at that moment, and it waits on.
        std::unique_lock gate(m_run->ResultGate, std::try_to_lock);
        while (!gate.owns_lock()) {
            if (std::chrono::steady_clock::now() > deadline) {
                countOut();
                gate.lock();
                break;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            gate.try_lock();
        }
        // Checked again under the gate: a thread stopped while it waited records nothing.
        if (result.accepted && !m_control->stopRequested.load()) {
            if (m_run->open) {
                m_run->ReplyTexts.push_back(result.reply);
                m_run->ReplyPings.push_back(std::to_string(result.pingMs));
                m_run->ReplyAddresses.push_back(m_address);
            } else {
                m_shared->lateAnswersDropped.fetch_add(1);
            }
        }
    }
    countOut();
    m_control->finished.store(true);
}

} // namespace pelorix
