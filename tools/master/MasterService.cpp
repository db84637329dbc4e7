#include "MasterService.h"

#include "MasterStore.h"
#include "Password.h"
#include "RateLimiter.h"
#include "RequestTarget.h"
#include "ServerAddress.h"
#include "StatusProbe.h"

#include "discovery/RequestSignature.h"

// cpp-httplib is third-party code: its warnings are not ours. Debian builds its implementation into a
// shared library, so its compile-time limits (8192 bytes for the request line and for each header line)
// are fixed there; defining the CPPHTTPLIB_* macros here would only make this file disagree with it.
// Further limits are applied in onRequest().
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wold-style-cast"
#pragma GCC diagnostic ignored "-Wnon-virtual-dtor"
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
#pragma GCC diagnostic ignored "-Wpedantic"
#include <httplib.h>
#pragma GCC diagnostic pop

#include <sys/socket.h>

#include <atomic>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>
#include <unordered_set>

namespace pelorix::master {

namespace {

constexpr const char *kMotdPath = "/info/motd.txt";
constexpr std::size_t kMaxTargetLength = 2048;
constexpr std::size_t kMaxHeaderCount = 64;
constexpr int kListenBacklog = 1024;

// Every list ends with this line. The browser drops the last line of the list, so it must not be an
// address; it also keeps an empty list at 10 characters or more, which the browser still takes for a
// list rather than for a failed request.
constexpr const char *kListEndLine = "END OF LIST";

// A refused list request gets this word. Under 10 characters, so the browser takes it for a failed
// request and falls back to its offline copy instead of querying the words of a refusal as addresses.
constexpr const char *kRefusal = "denied";

// httplib keeps the listening socket to itself, but lets subclasses see it: its own backlog of 5
// would make a burst of clients wait for SYN retries.
class HttpServer : public httplib::Server
{
public:
    bool widenBacklog(int backlog) { return ::listen(svr_sock_, backlog) == 0; }
};

// What the read-only requests answer, rebuilt from the store only when something changed.
struct Snapshot
{
    std::string list;
    std::unordered_set<std::string> addresses;
    std::string version;
    std::string versionDate;
    std::string motd;
};

const char *reasonPhrase(int status)
{
    switch (status) {
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 414: return "URI Too Long";
    case 429: return "Too Many Requests";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    default: return status >= 500 ? "Internal Server Error" : "Error";
    }
}

std::string statusPage(int status)
{
    const std::string title = std::to_string(status) + ' ' + reasonPhrase(status);
    return "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1></body></html>\r\n";
}

// A Host header fit to be written back into an address: a name or IPv4 address and an optional port.
bool plausibleHost(const std::string &host)
{
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.'
                        || c == '-' || c == ':';
        if (!ok)
            return false;
    }
    return true;
}

// The number of "s=": decimal, no sign or leading zeros, below 99999999 as the browser draws it.
bool parseSignatureNumber(const std::string &text, int &number)
{
    if (text.empty() || text.size() > 8 || (text.size() > 1 && text[0] == '0'))
        return false;
    number = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
        number = number * 10 + (c - '0');
    }
    return number <= 99999998;
}

// The length of a reply written by a content provider is only in its header.
std::string bodyBytes(const httplib::Response &response)
{
    if (!response.body.empty() || !response.has_header("Content-Length"))
        return std::to_string(response.body.size());
    return response.get_header_value("Content-Length");
}

std::string utcTimestamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm parts{};
    gmtime_r(&now, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &parts);
    return text;
}

} // namespace

struct MasterService::Impl
{
    Impl(MasterStore &store, ServiceOptions options)
        : store(store)
        , options(std::move(options))
        , refusals(this->options.refusalLimit, this->options.refusalWindow)
    {
    }

    void onRequest(const httplib::Request &request, httplib::Response &response);
    void answerList(const httplib::Request &request, const RequestTarget &target, httplib::Response &response);
    void answerVersion(const httplib::Request &request, httplib::Response &response);
    void answerInstaller(httplib::Response &response);
    void answerAdd(const RequestTarget &target, httplib::Response &response);
    void answerDelete(const httplib::Request &request, const RequestTarget &target, httplib::Response &response);

    bool signatureValid(const httplib::Request &request, const RequestTarget &target) const;
    std::shared_ptr<const Snapshot> snapshot();
    void invalidate() { dirty = true; }
    std::string publicHost(const httplib::Request &request) const;

    MasterStore &store;
    ServiceOptions options;
    HttpServer server;
    int boundPort = 0;
    RateLimiter refusals;
    std::atomic<int> probesRunning{0};

    std::mutex snapshotMutex;
    std::shared_ptr<const Snapshot> current;
    std::atomic<bool> dirty{true};
    long long dataVersion = -1;
    std::chrono::steady_clock::time_point lastVersionCheck;
};

std::shared_ptr<const Snapshot> MasterService::Impl::snapshot()
{
    const std::lock_guard lock(snapshotMutex);
    // The administration commands change the file from another process; look for that once a second
    // rather than asking SQLite on every request.
    const auto now = std::chrono::steady_clock::now();
    if (now - lastVersionCheck >= std::chrono::seconds(1)) {
        lastVersionCheck = now;
        const long long version = store.dataVersion();
        if (version != dataVersion) {
            dataVersion = version;
            dirty = true;
        }
    }
    if (current && !dirty.exchange(false))
        return current;

    auto next = std::make_shared<Snapshot>();
    for (auto &address : store.servers()) {
        next->list += address;
        next->list += "\r\n";
        next->addresses.insert(std::move(address));
    }
    next->list += kListEndLine;
    next->list += "\r\n";
    next->version = store.setting(kKeyVersion).value_or(PELORIX_VERSION_TEXT);
    next->versionDate = store.setting(kKeyVersionDate).value_or("");
    next->motd = store.setting(kKeyMotd).value_or("");
    current = std::move(next);
    return current;
}

std::string MasterService::Impl::publicHost(const httplib::Request &request) const
{
    if (!options.publicAddress.empty())
        return options.publicAddress;
    const std::string host = request.get_header_value("Host");
    if (plausibleHost(host))
        return host;
    return options.listenHost + ':' + std::to_string(boundPort);
}

bool MasterService::Impl::signatureValid(const httplib::Request &request, const RequestTarget &target) const
{
    int number = 0;
    if (!parseSignatureNumber(target.value("s"), number))
        return false;
    return constantTimeEqual(request.get_header_value("User-Agent"), SignatureFor(number));
}

void MasterService::Impl::answerList(const httplib::Request &request, const RequestTarget &target,
                                     httplib::Response &response)
{
    if (!signatureValid(request, target)) {
        response.status = 403;
        response.set_content(kRefusal, "text/plain");
        return;
    }
    // Written straight from the shared snapshot: no copy of a list of thousands of lines per request.
    auto shot = snapshot();
    const std::size_t length = shot->list.size();
    response.set_content_provider(
        length, "text/plain", [shot = std::move(shot)](std::size_t offset, std::size_t size, httplib::DataSink &sink) {
            return sink.write(shot->list.data() + offset, size);
        });
}

void MasterService::Impl::answerVersion(const httplib::Request &request, httplib::Response &response)
{
    const auto shot = snapshot();
    response.set_content(shot->version + "\r\n" + shot->versionDate + "\r\nhttp://" + publicHost(request) + kMotdPath
                             + "\r\n",
                         "text/plain");
}

void MasterService::Impl::answerInstaller(httplib::Response &response)
{
    std::ifstream file(options.installerPath, std::ios::binary);
    if (options.installerPath.empty() || !file) {
        response.status = 404;
        return;
    }
    std::string body((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    if (file.bad()) {
        response.status = 500;
        return;
    }
    response.set_content(body, "application/octet-stream");
}

void MasterService::Impl::answerAdd(const RequestTarget &target, httplib::Response &response)
{
    const auto reply = [&response](const std::string &text) { response.set_content(text, "text/plain"); };
    const auto server = parseServerAddress(target.value("server"));
    if (!server) {
        reply("1;invalid address, expected a.b.c.d:port");
        return;
    }
    if (server->isNotUnicast() || (!options.allowLoopback && (server->isLoopback() || server->isUnspecified()))) {
        reply("1;local or reserved address");
        return;
    }
    const std::string address = server->text();
    if (snapshot()->addresses.count(address)) {
        reply("1;already listed");
        return;
    }
    if (options.checkStatus) {
        // Each check holds a worker for up to two seconds: never let them take every worker.
        struct ProbeSlot
        {
            std::atomic<int> &count;
            ~ProbeSlot() { --count; }
        } slot{probesRunning};
        if (++probesRunning > std::max(1, options.threads / 2)) {
            response.status = 503;
            reply("1;busy, try again later");
            return;
        }
        if (!probeServer(*server, options.statusTimeoutMs)) {
            reply("1;the server did not answer a status query");
            return;
        }
    }
    switch (store.addServer(address)) {
    case MasterStore::AddResult::Added:
        invalidate();
        reply("0;added");
        break;
    case MasterStore::AddResult::Duplicate:
        reply("1;already listed");
        break;
    case MasterStore::AddResult::Failed:
        response.status = 500;
        reply("1;database error");
        break;
    }
}

void MasterService::Impl::answerDelete(const httplib::Request &request, const RequestTarget &target,
                                       httplib::Response &response)
{
    // The browser reads an empty reply as "deleted" and anything else as a refusal.
    const auto refuse = [&](const std::string &text) {
        refusals.recordRefusal(request.remote_addr);
        response.status = 403;
        response.set_content(text, "text/plain");
    };
    if (refusals.blocked(request.remote_addr)) {
        response.status = 429;
        response.set_content("1;too many refused attempts, try again later", "text/plain");
        return;
    }
    if (!signatureValid(request, target)) {
        refuse("1;bad signature");
        return;
    }
    const auto stored = store.setting(kKeyPassword);
    if (!stored || !verifyPassword(target.value("pwd"), *stored)) {
        refuse("1;wrong password");
        return;
    }
    const auto server = parseServerAddress(target.value("server"));
    if (!server || !store.removeServer(server->text())) {
        response.set_content("1;not listed", "text/plain");
        return;
    }
    invalidate();
    response.set_content("", "text/plain");
}

void MasterService::Impl::onRequest(const httplib::Request &request, httplib::Response &response)
{
    if (request.target.size() > kMaxTargetLength) {
        response.status = 414;
        return;
    }
    if (request.headers.size() > kMaxHeaderCount) {
        response.status = 431;
        return;
    }
    if (request.method != "GET" && request.method != "HEAD") {
        response.status = 404;
        response.set_content(statusPage(404), "text/html");
        return;
    }
    const RequestTarget target = parseRequestTarget(request.target);
    const std::string &path = target.path;
    if (path == "/vekta4list.php" || path == "/vekta4/vekta4list.php") {
        answerList(request, target, response);
    } else if (path == "/info/ver.php") {
        answerVersion(request, response);
    } else if (path == kMotdPath) {
        response.set_content(snapshot()->motd, "text/plain");
    } else if (path == "/download/vekta4/PELORIX_install.exe") {
        answerInstaller(response);
    } else if (path == "/vekta4/vekta4add.php") {
        answerAdd(target, response);
    } else if (path == "/vekta4/vekta4delete.php") {
        answerDelete(request, target, response);
    } else {
        response.status = 404;
    }
}

MasterService::MasterService(MasterStore &store, ServiceOptions options)
    : m_impl(std::make_unique<Impl>(store, std::move(options)))
{
    Impl *impl = m_impl.get();
    auto &server = impl->server;
    const int threads = std::max(1, impl->options.threads);
    server.new_task_queue = [threads] { return new httplib::ThreadPool(static_cast<std::size_t>(threads)); };
    server.set_tcp_nodelay(true);
    server.set_read_timeout(5, 0);
    server.set_write_timeout(5, 0);
    // One request per connection, and the reply says "Connection: close". The browser opens a new connection
    // for every request anyway and may read until the close; an HTTP/1.0 client that asked for keep-alive
    // would otherwise wait for the idle time-out, and idle connections would hold workers of the pool.
    server.set_keep_alive_max_count(1);
    server.set_payload_max_length(64 * 1024);
    // Every request, whatever its target form, goes through onRequest: httplib's own routing would not
    // match the absolute form a client sends through a proxy.
    server.set_pre_routing_handler([impl](const httplib::Request &request, httplib::Response &response) {
        impl->onRequest(request, response);
        return httplib::Server::HandlerResponse::Handled;
    });
    // Error replies without a text of their own (httplib's 400 and 414 included) get a small page.
    server.set_error_handler(httplib::Server::Handler([](const httplib::Request &, httplib::Response &response) {
        if (response.body.empty())
            response.set_content(statusPage(response.status), "text/html");
    }));
    server.set_exception_handler([](const httplib::Request &, httplib::Response &response, std::exception_ptr) {
        response.status = 500;
        response.set_content(statusPage(500), "text/html");
    });
    server.set_logger([](const httplib::Request &request, const httplib::Response &response) {
        const std::string client = request.remote_addr.empty() ? std::string("-") : request.remote_addr;
        const std::string line = utcTimestamp() + ' ' + client + ' ' + request.method + ' '
                                 + loggableTarget(request.target) + ' ' + std::to_string(response.status) + ' '
                                 + bodyBytes(response) + '\n';
        std::fwrite(line.data(), 1, line.size(), stderr);
    });
}

MasterService::~MasterService() = default;

bool MasterService::bind(std::string &error)
{
    auto &server = m_impl->server;
    const auto &options = m_impl->options;
    if (options.port == 0) {
        m_impl->boundPort = server.bind_to_any_port(options.listenHost);
    } else if (server.bind_to_port(options.listenHost, options.port)) {
        m_impl->boundPort = options.port;
    }
    if (m_impl->boundPort <= 0) {
        error = "cannot listen on " + options.listenHost + ':' + std::to_string(options.port);
        return false;
    }
    server.widenBacklog(kListenBacklog);
    m_impl->snapshot(); // the first list request should not pay for reading the store
    return true;
}

int MasterService::port() const
{
    return m_impl->boundPort;
}

bool MasterService::run()
{
    return m_impl->server.listen_after_bind();
}

void MasterService::stop()
{
    m_impl->server.stop();
}

} // namespace pelorix::master
