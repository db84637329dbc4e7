#include "discovery/WebClient.h"

#include "core/Dialogs.h"
#include "core/EventPump.h"
#include "core/SettingsStore.h"
#include "core/Text.h"
#include "discovery/HttpExchange.h"
#include "platform/AtomicFile.h"
#include "platform/UniqueFd.h"

#include <QByteArray>

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace pelorix
{

namespace
{

constexpr char kFaultText[] = "1;404";
// The user agent of downloads: the client's own name.
constexpr char kDownloadAgent[] = "Pelorix";

// A fault inside the client: the address cannot be used, the proxy port is not a number,
// the reply broke the protocol (status line, chunk sizes, lengths) or overstepped a limit.
struct WebFault {
};

// Clears WebBusy on every way out of WebGet.
class BusyFlag
{
  public:
    explicit BusyFlag(bool &flag)
        : m_flag(flag)
    {
        m_flag = true;
    }
    ~BusyFlag() { m_flag = false; }
    BusyFlag(const BusyFlag &) = delete;
    BusyFlag &operator=(const BusyFlag &) = delete;

  private:
    bool &m_flag;
};

struct ProxySettings {
    bool use = false;
    std::string host;
    int port = 0;
    std::string user;
    std::string password;
};

// Read again at every request, so a change in the proxy window counts at once.
ProxySettings readProxySettings(const SettingsStore &settings)
{
    ProxySettings proxy;
    if (!settings.ReadBool("proxy", false))
        return proxy;
    proxy.host = settings.ReadString("proxyserver", "");
    if (proxy.host.empty())
        return proxy;
    proxy.use = true;
    // The port is used as it was typed; one that is not a port number is a fault of the request.
    const std::string portText = settings.ReadString("proxyport", "");
    if (!parseInt32(portText, proxy.port) || proxy.port < 1 || proxy.port > 65535)
        throw WebFault{};
    proxy.user = settings.ReadString("proxyuser", "");
    proxy.password = settings.ReadString("proxypassword", "");
    return proxy;
}

std::string base64(std::string_view bytes)
{
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

std::string hostHeader(const http::Url &url)
{
    const bool ipv6 = url.host.find(':') != std::string::npos;
    std::string host = ipv6 ? "[" + url.host + "]" : url.host;
    if (url.port != 80)
        host += ":" + std::to_string(url.port);
    return host;
}

std::string buildRequest(const http::Url &url, const ProxySettings &proxy, const std::vector<std::string> &cookies,
                         const std::string &userAgent)
{
    std::string request = "GET ";
    if (proxy.use) {
        const bool ipv6 = url.host.find(':') != std::string::npos;
        request += "http://" + (ipv6 ? "[" + url.host + "]" : url.host) + ":" + std::to_string(url.port);
    }
    request += url.pathAndQuery + " HTTP/1.0\r\n";
    request += "Host: " + hostHeader(url) + "\r\n";
    if (proxy.use && !proxy.user.empty())
        request += "Proxy-Authorization: Basic " + base64(proxy.user + ":" + proxy.password) + "\r\n";
    request += "Keep-Alive: 300\r\n";
    request += proxy.use ? "Proxy-Connection: keep-alive\r\n" : "Connection: keep-alive\r\n";
    if (!cookies.empty()) {
        request += "Cookie: ";
        for (std::size_t i = 0; i < cookies.size(); ++i) {
            if (i)
                request += "; ";
            request += cookies[i];
        }
        request += "\r\n";
    }
    if (!userAgent.empty())
        request += "User-Agent: " + userAgent + "\r\n";
    request += "\r\n";
    return request;
}

// The body as text: it ends at its first NUL, its lines are joined with CR LF and the final break goes.
std::string bodyText(std::string_view body)
{
    return normalizeLineBreaks(untilNul(body));
}

// A file in the target's folder that is removed unless it was moved onto the target. It is made like any
// download, 0644 before the umask: what arrived over plain HTTP is never marked executable.
class PartialFile
{
  public:
    explicit PartialFile(const std::string &target)
    {
        const auto slash = target.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
        std::random_device entropy;
        for (int attempt = 0; attempt < 100 && !m_fd.valid(); ++attempt) {
            m_path = folder + "." + name + ".part-" + std::to_string(entropy() % 1000000000u);
            m_fd.reset(::open(m_path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (!m_fd.valid() && errno != EEXIST)
                break;
        }
        if (!m_fd.valid())
            m_path.clear();
    }
    ~PartialFile()
    {
        m_fd.reset();
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;

    bool valid() const { return m_fd.valid(); }

    bool write(std::string_view data) { return writeAll(m_fd.get(), data); }

    // Closes the file and puts it in the target's place.
    bool commit(const std::string &target)
    {
        const bool synced = ::fsync(m_fd.get()) == 0;
        const bool closed = m_fd.close();
        if (!synced || !closed || ::rename(m_path.c_str(), target.c_str()) != 0)
            return false;
        m_path.clear();
        return true;
    }

  private:
    std::string m_path;
    UniqueFd m_fd;
};

} // namespace

WebClient::WebClient(SettingsStore &settings, EventPump &pump, Dialogs &dialogs)
    : m_settings(settings)
    , m_pump(pump)
    , m_dialogs(dialogs)
{
}

std::string WebClient::WebGet(const std::string &address, const std::string &userAgent, WebReach *reach)
{
    std::string result;
    WebReach reached = WebReach::NotSent;
    // The gate: one request at a time. The first short wait happens even when nothing else runs.
    PumpWait(m_pump, 1);
    while (m_webBusy)
        PumpWait(m_pump, 1);
    const BusyFlag busy(m_webBusy);
    if (reach)
        *reach = WebReach::NotSent;
    if (address.empty())
        return result;

    try {
        http::Url url;
        if (!http::parseUrl(address, url))
            throw WebFault{};
        const ProxySettings proxy = readProxySettings(m_settings);
        std::vector<std::string> cookies = m_cookieJar;
        const std::string request = buildRequest(url, proxy, cookies, userAgent);

        http::ExchangeLimits limits;
        limits.waitForDataMs = m_limits.waitForDataMs;
        limits.transferMs = m_limits.transferMs;
        limits.maxBodyBytes = m_limits.maxBodyBytes;
        std::string body;
        const http::Response response =
            http::exchange(proxy.use ? proxy.host : url.host, proxy.use ? proxy.port : url.port, request, limits,
                           [&body](std::string_view piece) {
                               body += piece;
                               return true;
                           });
        // Any byte of a reply counts as an answer, even one that then broke the protocol.
        reached = response.replyStarted ? WebReach::Answered : WebReach::NoReply;
        // A refused connection, a silent peer or a broken transfer is not reported: the text is the
        // body as far as it came. A protocol violation or an overstepped limit is the client's fault.
        if (response.outcome == http::Outcome::Fault)
            throw WebFault{};
        http::applySetCookies(response, cookies);
        m_cookieJar = std::move(cookies);
        result = bodyText(body);
    } catch (...) {
        result = kFaultText;
    }
    if (reach)
        *reach = reached;

    if (address.find("/a/?") != std::string::npos && result.compare(0, 2, "0;") != 0 &&
        result.compare(0, 2, "1;") != 0) {
        m_dialogs.message(DialogKind::Warning, "Unknown reply from server!\r\nError 1;404\r\nResponse: " + result);
    }
    return result;
}

bool WebClient::DownloadToFile(const std::string &address, const std::string &filePath)
{
    try {
        http::Url url;
        if (filePath.empty() || !http::parseUrl(address, url))
            return false;
        const std::string request = buildRequest(url, ProxySettings{}, {}, kDownloadAgent);
        PartialFile file(filePath);
        if (!file.valid())
            return false;
        http::ExchangeLimits limits;
        limits.waitForDataMs = m_limits.downloadWaitForDataMs;
        limits.transferMs = m_limits.downloadTransferMs;
        limits.maxBodyBytes = m_limits.maxDownloadBytes;
        const http::Response response = http::exchange(url.host, url.port, request, limits,
                                                       [&file](std::string_view piece) { return file.write(piece); });
        // Only a whole body is written, and an error page is not the file that was asked for.
        if (response.outcome != http::Outcome::Complete || response.status < 200 || response.status > 299)
            return false;
        return file.commit(filePath);
    } catch (...) {
        return false;
    }
}

} // namespace pelorix
