#pragma once

#include "admin/AddressCheck.h"
#include "platform/UniqueFd.h"

#include <netinet/in.h>

#include <cstddef>
#include <functional>
#include <string>

namespace pelorix
{

class Dialogs;
class EventPump;
class WebClient;

// The contact named by the message of a failed addition.
inline constexpr char kListContact[] = "lists@pelorix.example.org";

// The Add server window's own UDP client, used only for the test query. Its socket opens at the first send and stays
// open for later adds, so a datagram that came too late for one add can be read by the next. A datagram longer than
// kMaxBytes is cut to its first kMaxBytes.
class TestQueryClient
{
  public:
    static constexpr std::size_t kMaxBytes = 1024;

    // Points the client at address:port; false when port is no port number (0, or above 65535).
    bool setTarget(const Ipv4Octets &address, long long port);
    // Sends payload to the target; false on a fault (no target, no socket, the system refused the send).
    bool send(std::string_view payload);
    // One datagram within ms, or "" when none came; events are handled while it waits. A socket error (the port
    // reported unreachable) sets fault.
    std::string receiveWithin(int ms, EventPump &pump, bool &fault);
    bool isOpen() const { return m_fd.valid(); }
    int localPort() const;

  private:
    UniqueFd m_fd;
    sockaddr_in m_target{};
    bool m_haveTarget = false;
};

// What the add writes to while it runs: the Add server window, or a terminal.
class AddServerView
{
  public:
    virtual ~AddServerView() = default;
    virtual void clearLog() = 0;
    virtual void appendLog(const std::string &line) = 0; // a whole line: time stamp and text
    virtual void setLogVisible(bool visible) = 0;        // Panel2
    virtual void startProgress() = 0;                    // Timer1 on
    virtual void stopProgress() = 0;                     // Timer1 off, Label2 hidden
    virtual void beep() = 0;
    virtual void closeWindow() = 0;
    // The main window's deferred start-up step, again in 100 ms.
    virtual void rearmStartup() = 0;
};

enum class AddOutcome {
    Busy, // another add is still running; nothing was done
    InvalidAddress,
    LocalAddress,
    AlreadyListed,
    NoAnswer, // the test query got no reply holding "final"
    NotSaved, // the add request did not reach the service
    Added,
};

// The add of the Add server window (Image2Click): address check, local refusal, listing check, test query through
// the window's own UDP client, add request; every wait keeps the window alive.
class AddServer
{
  public:
    AddServer(WebClient &web, EventPump &pump, Dialogs &dialogs, AddServerView &view);

    // addressText is Edit1's text, port the port box's value.
    AddOutcome Run(const std::string &addressText, long long port);
    bool running() const { return m_running; }
    int attempts() const { return m_attempts; }

    // The time stamp before each log line; the system's short date and long time unless set.
    void setClock(std::function<std::string()> stamp) { m_stamp = std::move(stamp); }
    const TestQueryClient &udp() const { return m_udp; }

  private:
    AddOutcome run(const std::string &addressText, long long port);
    void log(const std::string &text);
    AddOutcome failTestQuery();

    WebClient &m_web;
    EventPump &m_pump;
    Dialogs &m_dialogs;
    AddServerView &m_view;
    TestQueryClient m_udp;
    std::function<std::string()> m_stamp;
    int m_attempts = 0;
    bool m_running = false;
};

// The local date and time as the log shows them: the system's short date and long time formats.
std::string localLogStamp();

} // namespace pelorix
