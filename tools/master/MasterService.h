#pragma once

#include <chrono>
#include <memory>
#include <string>

namespace pelorix::master {

class MasterStore;

struct ServiceOptions
{
    std::string listenHost = "127.0.0.1";
    int port = 8480; // 0: any free port, see MasterService::port()
    bool allowLoopback = false; // list 127.0.0.0/8 and 0.0.0.0 servers (tests, LAN parties)
    bool checkStatus = true;    // an added server must answer a status query first
    int statusTimeoutMs = 2000;
    std::string installerPath;  // served as the installer; none: 404
    std::string publicAddress;  // host[:port] for absolute addresses in replies; empty: the client's Host header
    int threads = 16;
    int refusalLimit = 5; // refused deletions per client inside the window before attempts go unchecked
    std::chrono::seconds refusalWindow{60};
};

// The master-list web service: the server list, the version information and message of the day, the
// installer, and the add and delete requests of the browser, over HTTP/1.0 and 1.1.
class MasterService
{
public:
    MasterService(MasterStore &store, ServiceOptions options);
    ~MasterService();
    MasterService(const MasterService &) = delete;
    MasterService &operator=(const MasterService &) = delete;

    // Binds the listening socket; false with a message in error.
    bool bind(std::string &error);
    // The bound port (the chosen one when options asked for 0).
    int port() const;
    // Serves until stop(); false when serving failed.
    bool run();
    // Safe from another thread.
    void stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace pelorix::master
