#pragma once

#include "RateLimiter.h"
#include "ServerAddress.h"
#include "platform/UniqueFd.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>

namespace pelorix::master
{

// Test status queries for added servers, all run by one thread: a probe holds a socket and a slot, never a
// thread. Each client (by its prefix key) gets its own small share of the slots and a budget of probes per
// minute, and each destination host a budget of its own, so the service cannot be turned into a scanner or
// a flood. An answer is reported as soon as it is complete; a failure, whatever caused it (a closed port, a
// filtered one, a server that answers nonsense), is reported exactly at the deadline, so its timing says
// nothing about the port.
class StatusProber
{
  public:
    struct Limits {
        int timeoutMs = 2000;
        int maxProbes = 64;      // running at once, all clients together
        int probesPerClient = 2; // running at once for one client
        int clientProbesPerMinute = 10;
        int destinationProbesPerMinute = 5;
    };
    enum class Result { Answered, NoAnswer, Cancelled };
    enum class Admission { Started, Full, ClientBusy, ClientRate, DestinationRate, Stopping };
    using Done = std::function<void(Result)>;

    explicit StatusProber(Limits limits);
    ~StatusProber();
    StatusProber(const StatusProber &) = delete;
    StatusProber &operator=(const StatusProber &) = delete;

    // Sends "\status\" to the server; done is called once, from the prober's thread, unless admission fails.
    Admission start(const ServerAddress &server, const std::string &client, Done done);
    // Every probe still running ends as Cancelled before this returns; later starts are refused.
    void stop();
    int running();

  private:
    struct Probe;
    void loop();
    void finish(std::uint64_t id, Result result);

    Limits m_limits;
    std::mutex m_mutex;
    bool m_stopping = false;
    std::uint64_t m_nextId = 1;
    std::unordered_map<std::uint64_t, std::unique_ptr<Probe>> m_probes;
    std::deque<std::pair<std::chrono::steady_clock::time_point, std::uint64_t>> m_deadlines;
    std::unordered_map<std::string, int> m_perClient;
    RateLimiter m_clientRate;
    RateLimiter m_destinationRate;
    UniqueFd m_epoll;
    UniqueFd m_wake;
    std::thread m_thread;
};

// Whether the datagrams of a reply, put together, make a complete status reply.
bool statusReplyComplete(const std::string &reply);

} // namespace pelorix::master
