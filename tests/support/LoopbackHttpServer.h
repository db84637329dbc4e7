#pragma once

#include "platform/UniqueFd.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace pelorix::test
{

// A scripted HTTP peer on 127.0.0.1 and a port the system picks. One thread serves the connections
// one after the other: it records each request's bytes up to the empty line, then sends the next
// scripted reply (or the default one) and closes. It also serves as a proxy that records what comes in.
class LoopbackHttpServer
{
  public:
    struct Reply {
        std::vector<std::string> parts;              // sent in order
        std::chrono::milliseconds gap{0};            // pause before every part after the first
        bool endless = false;                        // after the parts, send the last part again after each gap
        std::chrono::milliseconds endlessFor{30000}; // then close: a client that never gives up fails, not hangs
        std::chrono::milliseconds holdOpen{0};       // keep the connection open this long after sending
        bool reset = false;                          // end with a reset instead of a clean close
    };

    LoopbackHttpServer();
    ~LoopbackHttpServer();
    LoopbackHttpServer(const LoopbackHttpServer &) = delete;
    LoopbackHttpServer &operator=(const LoopbackHttpServer &) = delete;

    int port() const { return m_port; }
    // "127.0.0.1:port"
    std::string hostPort() const;
    // "http://127.0.0.1:port" + path
    std::string url(const std::string &path) const;

    // Replies are used by the connections in order; when none is queued the default reply goes out.
    void addReply(Reply reply);
    void setDefaultReply(Reply reply);

    // The bytes of every request received so far, one per connection, in order.
    std::vector<std::string> requests() const;
    std::size_t connectionCount() const;
    // The parts handed whole to every connection served so far (repeats of an endless reply included), in order.
    std::vector<std::size_t> partsSent() const;
    // Waits until n connections were served (reply sent and closed) or the time runs out.
    bool waitForServed(std::size_t n, std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;

    // Ready-made replies.
    static Reply lengthReply(const std::string &body, const std::string &extraHeaders = {},
                             const std::string &status = "200 OK");
    static Reply chunkedReply(const std::vector<std::string> &chunks, const std::string &extraHeaders = {});
    static Reply untilCloseReply(const std::string &body, const std::string &extraHeaders = {});
    static Reply rawReply(const std::string &bytes);
    // first, then repeated after every gap until the client goes (or endlessFor has passed).
    static Reply endlessReply(const std::string &first, const std::string &repeated, std::chrono::milliseconds gap);

  private:
    void run();
    void serve(UniqueFd connection);
    bool sendAll(int fd, const std::string &data);
    bool pauseFor(std::chrono::milliseconds ms, int fd);

    UniqueFd m_listen;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_served;
    std::deque<Reply> m_replies;
    Reply m_defaultReply;
    std::vector<std::string> m_requests;
    std::vector<std::size_t> m_partsSent;
    std::size_t m_servedCount = 0;
    std::thread m_thread;
};

} // namespace pelorix::test
