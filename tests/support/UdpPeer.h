#pragma once

// The tests' side of the UDP status exchange on 127.0.0.1: a socket that asks or stays silent, and game servers in
// miniature that answer with scripted datagrams.

#include "platform/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelorix::test
{

// A datagram as a peer received it.
struct Datagram {
    std::string data;
    int fromPort = 0;
    std::chrono::milliseconds at{}; // after the peer's last send
};

// The datagrams' bytes, one after the other.
std::string joined(const std::vector<Datagram> &datagrams);

// One UDP socket bound to 127.0.0.1, on a port the system picks or the one given (a socket that cannot be bound fails
// the test). A peer that never reads is a server that stays silent.
class UdpPeer
{
  public:
    explicit UdpPeer(int localPort = 0);
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    int port() const { return m_port; }
    std::string address() const { return "127.0.0.1:" + std::to_string(m_port); }
    int fd() const { return m_fd.get(); }

    bool send(int toPort, const std::string &payload = "\\status\\");
    // Everything that arrives within window of the last send; stops early once done says so.
    std::vector<Datagram> collect(std::chrono::milliseconds window,
                                  const std::function<bool(const std::string &joined)> &done = {});
    // Sends the status request and returns the joined reply as soon as it holds "\eof\".
    std::string ask(int toPort, std::chrono::milliseconds window = std::chrono::milliseconds(2000));

  private:
    UniqueFd m_fd;
    int m_port = 0;
    std::chrono::steady_clock::time_point m_sentAt = std::chrono::steady_clock::now();
};

// Game servers in miniature: UDP sockets on 127.0.0.1 served by one thread. Every request a server receives is
// answered with the datagrams its script gives, each sent at its time after the request came, from the server's own
// socket or from one other socket (a second sender on another port).
class UdpServers
{
  public:
    struct Send {
        int atMs = 0;
        std::string payload;
        bool fromOtherSocket = false;
    };
    // Called on the serving thread, one request at a time.
    using Script = std::function<std::vector<Send>(size_t server, const std::string &request)>;

    UdpServers(size_t count, Script script);
    ~UdpServers();
    UdpServers(const UdpServers &) = delete;
    UdpServers &operator=(const UdpServers &) = delete;

    const std::vector<std::string> &addresses() const { return m_addresses; }
    const std::string &address(size_t server) const { return m_addresses.at(server); }
    // Answers requests from now on with script; answers already scheduled still go out.
    void setScript(Script script);
    // Every request received so far, in the order they came.
    std::vector<std::string> requests() const;

  private:
    void serve();

    std::vector<std::unique_ptr<UdpPeer>> m_servers;
    UdpPeer m_other;
    std::vector<std::string> m_addresses;
    mutable std::mutex m_mutex;
    Script m_script;
    std::vector<std::string> m_requests;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace pelorix::test
