#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace pelorix::master
{

// A few threads for the slow parts of a request (password checks, database writes), so the network
// threads never wait for them. The queue is bounded: a full queue refuses new work at once.
class WorkerPool
{
  public:
    // A job learns whether it runs (false) or is dropped because the pool stops (true).
    using Job = std::function<void(bool cancelled)>;

    WorkerPool(int threads, std::size_t maxQueued);
    ~WorkerPool();
    WorkerPool(const WorkerPool &) = delete;
    WorkerPool &operator=(const WorkerPool &) = delete;

    // False when the queue is full or the pool stops; the job is then not called at all.
    bool post(Job job);
    // Queued jobs are called as cancelled, running ones finish; then the threads end.
    void stop();

  private:
    void work();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_queue;
    std::size_t m_maxQueued;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace pelorix::master
