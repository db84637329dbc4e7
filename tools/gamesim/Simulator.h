#pragma once

#include "Scenario.h"
#include "platform/Loopback.h"
#include "platform/UniqueFd.h"

#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace pelorix::gamesim
{

struct RunOptions {
    std::string portFile;       // "HOST:PORT" lines once every socket is bound
    std::string masterListFile; // the master-list text once every socket is bound
    std::string registerUrl;    // http://host:port of a master service to register every server with
    bool statsAtExit = false;
    int runForMs = 0; // 0: until SIGTERM or SIGINT
};

// Send lateness (actual send time minus scheduled time) of every scheduled datagram, in microseconds.
class LatenessStats
{
  public:
    void add(int64_t lateNs);
    uint64_t count() const { return m_count; }
    // The q-quantile (0..1) in microseconds; values beyond the histogram count as its top.
    int64_t quantileUs(double q) const;
    int64_t maxUs() const { return m_maxUs; }

  private:
    static constexpr int64_t kBuckets = 200000; // 1 us each, up to 200 ms
    std::vector<uint32_t> m_histogram = std::vector<uint32_t>(kBuckets + 1, 0);
    uint64_t m_count = 0;
    int64_t m_maxUs = 0;
};

// Every server of a scenario on one IPv4 address (127.0.0.1 unless told otherwise), answered from one epoll loop; sends
// are kept in a min-heap and released by one timerfd armed for the earliest of them.
class Simulator
{
  public:
    explicit Simulator(Scenario scenario);
    ~Simulator();
    Simulator(const Simulator &) = delete;
    Simulator &operator=(const Simulator &) = delete;

    // The IPv4 address every server binds to (default 127.0.0.1); false when host is not an IPv4 address.
    bool setBindAddress(const std::string &host);

    // Binds every socket; a server without a port gets one from the system (a closed server one that was free).
    bool bindAll(std::string &error);
    const std::vector<int> &ports() const { return m_ports; }

    // Runs until SIGTERM/SIGINT (blocked by the caller and read here through a signalfd) or runForMs.
    // Prints "READY <count>" on stdout once the files are written and the registration is done.
    int run(const RunOptions &options);

  private:
    struct Job;
    struct Server;
    struct Timer {
        int64_t due;
        uint64_t seq;
        std::shared_ptr<Job> job;
    };

    static bool laterFirst(const Timer &a, const Timer &b);
    void schedule(int64_t due, std::shared_ptr<Job> job);
    void armTimer();
    void readQueries(size_t index);
    void readErrors(size_t index);
    void onQuery(size_t index, const sockaddr_in &client, int64_t now);
    void fire(const std::shared_ptr<Job> &job, int64_t due, int64_t now);
    bool sendTo(int fd, const std::string &datagram, const sockaddr_in &client);
    void stopStreams(size_t index, const sockaddr_in &client);
    void scheduleChurn(int64_t start);
    void printStats() const;

    std::string hostPort(int port) const;

    Scenario m_scenario;
    sockaddr_in m_bindAddress = loopbackAddress(0);
    std::string m_bindHost = "127.0.0.1";
    std::vector<Server> m_servers;
    std::vector<int> m_ports;
    std::vector<Timer> m_heap;
    uint64_t m_seq = 0;
    int64_t m_armedFor = -1;
    UniqueFd m_epoll;
    UniqueFd m_timer;
    std::mt19937_64 m_rng;
    LatenessStats m_stats;
    uint64_t m_queries = 0;
};

} // namespace pelorix::gamesim
