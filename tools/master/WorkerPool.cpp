#include "WorkerPool.h"

#include <algorithm>

namespace pelorix::master
{

WorkerPool::WorkerPool(int threads, std::size_t maxQueued)
    : m_maxQueued(maxQueued)
{
    for (int i = 0; i < std::max(1, threads); ++i)
        m_threads.emplace_back([this] { work(); });
}

WorkerPool::~WorkerPool()
{
    stop();
}

bool WorkerPool::post(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping || m_queue.size() >= m_maxQueued)
            return false;
        m_queue.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void WorkerPool::work()
{
    for (;;) {
        Job job;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stopping || !m_queue.empty(); });
            if (m_stopping)
                return;
            job = std::move(m_queue.front());
            m_queue.pop_front();
        }
        job(false);
    }
}

void WorkerPool::stop()
{
    std::deque<Job> dropped;
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        dropped.swap(m_queue);
    }
    m_wake.notify_all();
    for (auto &thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
    for (auto &job : dropped)
        job(true);
}

} // namespace pelorix::master
