#pragma once

#include <chrono>
#include <cstddef>
#include <memory>
#include <string>

namespace pelorix::master
{

class MasterStore;

struct ServiceOptions {
    std::string listenHost = "127.0.0.1"; // an IPv4 or IPv6 address
    int port = 8480;                      // 0: any free port, see MasterService::port()
    bool allowLoopback = false;           // list 127.0.0.0/8 servers (tests, one-machine setups)
    bool allowPrivate = false;            // list 10/8, 172.16/12 and 192.168/16 servers (a LAN list)
    bool checkStatus = true;              // an added server must answer a status query first
    int statusTimeoutMs = 2000;
    std::string installerPath; // served as the installer; none: 404
    std::string publicAddress; // host[:port] for absolute addresses in replies; empty: the client's Host header
    bool accessLog = true;     // one line per request on standard error

    // Network: epoll threads that never wait for slow work, and the limits that keep any one client small.
    int threads = 0;                          // network threads; 0: one per processor, at least 2
    int maxConnections = 8192;                // open connections, all clients together
    int maxClientConnections = 32;            // per client address (IPv6: per /64)
    int requestTimeoutSeconds = 10;           // from the connection to the end of the request's headers
    int idleTimeoutSeconds = 10;              // without any progress, in either direction
    std::size_t connectionMemory = 16 * 1024; // request line, headers and reply head of one connection

    // Slow work: password checks and database writes on a few threads of their own.
    int workers = 2;
    int refusalLimit = 5; // refused deletions per client prefix inside the window before attempts go unchecked
    std::chrono::seconds refusalWindow{60};
    double passwordChecksPerSecond = 4; // all clients together

    // Test queries of added servers.
    int maxProbes = 64;
    int probesPerClient = 2;
    int clientProbesPerMinute = 10;
    int destinationProbesPerMinute = 5;
};

// The master-list web service: the server list, the version information and message of the day, the
// installer, the add and delete requests of the browser, and /healthz for monitoring, over HTTP/1.0 and 1.1.
class MasterService
{
  public:
    MasterService(MasterStore &store, ServiceOptions options);
    ~MasterService();
    MasterService(const MasterService &) = delete;
    MasterService &operator=(const MasterService &) = delete;

    // Binds the listening socket and starts serving; false with a message in error.
    bool bind(std::string &error);
    // The bound port (the chosen one when options asked for 0).
    int port() const;
    // Serves until stop(), then ends every connection; false when serving failed.
    bool run();
    // Safe from another thread and from a signal-waiting thread.
    void stop();

  private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pelorix::master
