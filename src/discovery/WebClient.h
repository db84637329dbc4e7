#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace pelorix
{

class Dialogs;
class EventPump;
class SettingsStore;

// Limits of one exchange. The defaults are the program's; tests inject smaller ones.
struct WebLimits {
    int waitForDataMs = 15000;                    // each wait for reply data (WebGet)
    int transferMs = 60000;                       // a WebGet transfer not ended by then is a fault
    std::size_t maxBodyBytes = 32u * 1024 * 1024; // a bigger WebGet body is a fault
    int downloadWaitForDataMs = 90000;            // each wait for data (DownloadToFile)
    int downloadTransferMs = 10 * 60 * 1000;      // a download not ended by then is abandoned
    std::size_t maxDownloadBytes = 512u * 1024 * 1024;
};

// Whether a WebGet reached the service, for the callers that must tell an unreachable service from an empty reply.
enum class WebReach {
    Answered, // a reply arrived, whole or not, well-formed or not
    NoReply,  // no connection, or a connection that closed or went silent before any reply
    NotSent,  // the request could not be sent: an unusable address or proxy setting
};

// The HTTP/1.0 client of the web service: one request at a time, on the UI thread.
class WebClient
{
  public:
    WebClient(SettingsStore &settings, EventPump &pump, Dialogs &dialogs);

    // GET address; the reply body as text with CR LF line breaks. Never throws.
    // "" when the service is unreachable, "1;404" when the exchange broke down inside the client:
    // an unusable address or proxy port, a reply that breaks the protocol or sends more than a few interim
    // (1xx) heads, a body over maxBodyBytes or a transfer longer than transferMs. A silent peer or a cut-off
    // transfer gives the body so far.
    // reach (may be null) tells whether the service answered at all.
    std::string WebGet(const std::string &address, const std::string &userAgent, WebReach *reach = nullptr);
    // GET address into filePath (through a temporary file renamed on success, mode 0644 before the umask).
    // True when written: the body arrived whole, with a 2xx status, within maxDownloadBytes and downloadTransferMs;
    // otherwise the file is untouched.
    bool DownloadToFile(const std::string &address, const std::string &filePath);

    bool WebBusy() const { return m_webBusy; }
    // name=value texts, in order.
    const std::vector<std::string> &CookieJar() const { return m_cookieJar; }

    void setLimits(const WebLimits &limits) { m_limits = limits; }
    const WebLimits &limits() const { return m_limits; }

  private:
    SettingsStore &m_settings;
    EventPump &m_pump;
    Dialogs &m_dialogs;
    WebLimits m_limits;
    bool m_webBusy = false;
    std::vector<std::string> m_cookieJar;
};

} // namespace pelorix
