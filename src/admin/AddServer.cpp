#include "admin/AddServer.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/Text.h"
#include "discovery/RequestSignature.h"
#include "discovery/StatusExchange.h"
#include "discovery/WebClient.h"
#include "discovery/WebRequests.h"

#include <QDateTime>
#include <QLocale>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <chrono>

namespace pelorix
{

namespace
{

using Clock = std::chrono::steady_clock;

// The longest the receive waits at a time before it handles the window's events.
constexpr int kReceiveSliceMs = 10;

// Clears the running mark on every way out of an add.
class RunningMark
{
  public:
    explicit RunningMark(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~RunningMark() { m_flag = false; }
    RunningMark(const RunningMark &) = delete;
    RunningMark &operator=(const RunningMark &) = delete;

  private:
    bool &m_flag;
};

} // namespace

bool TestQueryClient::setTarget(const Ipv4Octets &address, long long port)
{
    m_haveTarget = false;
    if (port < 1 || port > 65535)
        return false;
    m_target = sockaddr_in{};
    m_target.sin_family = AF_INET;
    m_target.sin_port = htons(static_cast<std::uint16_t>(port));
    m_target.sin_addr.s_addr =
        htonl(static_cast<std::uint32_t>(address[0]) << 24 | static_cast<std::uint32_t>(address[1]) << 16 |
              static_cast<std::uint32_t>(address[2]) << 8 | address[3]);
    m_haveTarget = true;
    return true;
}

bool TestQueryClient::send(std::string_view payload)
{
    if (!m_haveTarget)
        return false;
    if (!m_fd.valid()) {
        m_fd.reset(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (!m_fd.valid())
            return false;
        // An unreachable port reaches an unconnected socket only with IP_RECVERR.
        const int on = 1;
        ::setsockopt(m_fd.get(), SOL_IP, IP_RECVERR, &on, sizeof on);
    }
    const ssize_t sent = ::sendto(m_fd.get(), payload.data(), payload.size(), MSG_NOSIGNAL,
                                  reinterpret_cast<const sockaddr *>(&m_target), sizeof m_target);
    return sent == static_cast<ssize_t>(payload.size());
}

std::string TestQueryClient::receiveWithin(int ms, EventPump &pump, bool &fault)
{
    if (!m_fd.valid()) {
        fault = true;
        return {};
    }
    const auto deadline = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return {};
        pollfd pfd{m_fd.get(), POLLIN, 0};
        const int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long long>(left, kReceiveSliceMs)));
        if (ready < 0 && errno != EINTR) {
            fault = true;
            return {};
        }
        if (ready > 0) {
            std::string payload(kMaxBytes, '\0');
            const ssize_t got = ::recv(m_fd.get(), payload.data(), payload.size(), MSG_DONTWAIT);
            if (got >= 0) {
                payload.resize(static_cast<std::size_t>(got));
                return payload;
            }
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK) {
                DrainSocketErrors(m_fd.get());
                fault = true;
                return {};
            }
        }
        pump.processPendingEvents();
    }
}

int TestQueryClient::localPort() const
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    if (!m_fd.valid() || ::getsockname(m_fd.get(), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return 0;
    return ntohs(address.sin_port);
}

std::string localLogStamp()
{
    const QLocale locale = QLocale::system();
    const QDateTime now = QDateTime::currentDateTime();
    return fromQString(locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ') +
                       locale.toString(now.time(), QLocale::LongFormat));
}

AddServer::AddServer(WebClient &web, EventPump &pump, Dialogs &dialogs, AddServerView &view)
    : m_web(web)
    , m_pump(pump)
    , m_dialogs(dialogs)
    , m_view(view)
    , m_stamp(localLogStamp)
{
}

void AddServer::log(const std::string &text)
{
    m_view.appendLog(m_stamp() + text);
}

AddOutcome AddServer::Run(const std::string &addressText, long long port)
{
    // A second add while one waits would share its socket and log; it is not started.
    if (m_running)
        return AddOutcome::Busy;
    const RunningMark mark(m_running);
    return run(addressText, port);
}

AddOutcome AddServer::failTestQuery()
{
    log(" | FAILED to get info from server, check IP and PORT please.");
    m_view.beep();
    m_view.stopProgress();
    m_dialogs.message(DialogKind::Error, "Failed to add server!\r\nCheck IP and PORT please.");
    m_view.setLogVisible(false);
    return AddOutcome::NoAnswer;
}

AddOutcome AddServer::run(const std::string &addressText, long long port)
{
    const auto address = checkServerAddress(addressText);
    if (!address) {
        m_dialogs.message(DialogKind::Error, "Not valid IP address!");
        return AddOutcome::InvalidAddress;
    }
    if (IsLocalServerAddress(addressText)) {
        m_dialogs.message(DialogKind::Warning, "Can't add local server!");
        return AddOutcome::LocalAddress;
    }
    const std::string portText = std::to_string(port);

    m_attempts = 0;
    m_view.clearLog();
    m_view.setLogVisible(true);
    m_view.startProgress();
    const bool targetSet = m_udp.setTarget(*address, port);
    log(" | Variables set.");
    PumpWait(m_pump, 10);

    // The listing check: the current list, compared line by line with the address and port as typed.
    log(" | Checking server list . . .");
    const WebRequest check = listingCheckRequest(RequestSignature(false));
    const std::string list = m_web.WebGet(check.address, check.userAgent);
    const std::string entry = addressText + ":" + portText;
    if (ListHoldsLine(list, entry)) {
        log(" | Server already exists.");
        m_dialogs.message(DialogKind::Warning, "Server is already in list.");
        m_view.stopProgress();
        m_view.setLogVisible(false);
        m_view.closeWindow();
        return AddOutcome::AlreadyListed;
    }

    // The test query.
    PumpWait(m_pump, 100);
    bool fault = !targetSet || !m_udp.send(kStatusRequest);
    log(" | Status requested.");
    PumpWait(m_pump, 1500);
    std::string reply;
    if (!fault)
        reply = m_udp.receiveWithin(500, m_pump, fault);
    while (!fault) {
        ++m_attempts;
        reply += m_udp.receiveWithin(1200, m_pump, fault);
        log(" | Connection attempt " + std::to_string(m_attempts) + "/3");
        PumpWait(m_pump, 10);
        if (reply.find("final") != std::string::npos || m_attempts >= 3)
            break;
    }
    PumpWait(m_pump, 500);
    if (fault || reply.find("final") == std::string::npos)
        return failTestQuery();
    log(" | Got reply from server.");
    PumpWait(m_pump, 200);
    log(" | Reply length: " + std::to_string(reply.size()) + ".");

    // The add request. Its reply is not judged, but a service that never answered did not add anything.
    m_view.stopProgress();
    log(" | Saving server to database.");
    const WebRequest add = addServerRequest(addressText, portText);
    WebReach reach = WebReach::NotSent;
    m_web.WebGet(add.address, add.userAgent, &reach);
    if (reach != WebReach::Answered) {
        log(" | Failed to save server to main database !");
        m_dialogs.message(DialogKind::Error,
                          std::string("Failed to add server to database!\r\nPlease contact ") + kListContact);
        m_view.setLogVisible(false);
        return AddOutcome::NotSaved;
    }
    log(" | All ok.");
    m_dialogs.message(DialogKind::Information, "Server was added!");
    m_view.closeWindow();
    m_pump.processPendingEvents();
    m_view.setLogVisible(false);
    m_view.rearmStartup();
    return AddOutcome::Added;
}

} // namespace pelorix
