#include "MasterService.h"

#include "MasterStore.h"
#include "Password.h"
#include "RateLimiter.h"
#include "RequestTarget.h"
#include "ServerAddress.h"
#include "StatusProbe.h"
#include "WorkerPool.h"

#include "discovery/RequestSignature.h"
#include "platform/UniqueFd.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <deque>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace pelorix::master
{

namespace
{

using Clock = std::chrono::steady_clock;

constexpr const char *kMotdPath = "/info/motd.txt";
constexpr const char *kHealthPath = "/healthz";
constexpr const char *kListPath = "/vekta4list.php";
constexpr const char *kAdminListPath = "/vekta4/vekta4list.php";
constexpr const char *kVersionPath = "/info/ver.php";
constexpr const char *kInstallerPath = "/download/vekta4/PELORIX_install.exe";
constexpr const char *kAddPath = "/vekta4/vekta4add.php";
constexpr const char *kDeletePath = "/vekta4/vekta4delete.php";
constexpr std::size_t kMaxTargetLength = 2048;
constexpr unsigned kMaxHeaderCount = 64;
constexpr unsigned kListenBacklog = 1024;
constexpr std::size_t kMaxQueuedJobs = 256;

// Every list ends with this line. The browser drops the last line of the list, so it must not be an
// address; it also keeps an empty list at 10 characters or more, which the browser still takes for a
// list rather than for a failed request.
constexpr const char *kListEndLine = "END OF LIST";

// A refused list request gets this word, and a list the database cannot give the next one. Both under 10
// characters, so the browser takes them for a failed request and falls back to its offline copy instead of
// querying the words of an error as addresses.
constexpr const char *kRefusal = "denied";
constexpr const char *kListUnavailable = "db error";

struct Reply {
    int status = MHD_HTTP_OK;
    std::string body;
    std::string contentType = "text/plain";
    std::string allow;          // the Allow header of a 405
    const char *note = nullptr; // why, for the access log; never request text
};

Reply textReply(std::string text, const char *note = nullptr, int status = MHD_HTTP_OK)
{
    Reply reply;
    reply.status = status;
    reply.body = std::move(text);
    reply.note = note;
    return reply;
}

const char *reasonPhrase(int status)
{
    switch (status) {
    case 400:
        return "Bad Request";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 413:
        return "Payload Too Large";
    case 414:
        return "URI Too Long";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 503:
        return "Service Unavailable";
    default:
        return status >= 500 ? "Internal Server Error" : "Error";
    }
}

Reply statusPage(int status, const char *note = nullptr)
{
    const std::string title = std::to_string(status) + ' ' + reasonPhrase(status);
    Reply reply;
    reply.status = status;
    reply.body = "<html><head><title>" + title + "</title></head><body><h1>" + title + "</h1></body></html>\r\n";
    reply.contentType = "text/html";
    reply.note = note;
    return reply;
}

// A Host header fit to be written back into an address: a name or IPv4 address and an optional port.
bool plausibleHost(const std::string &host)
{
    if (host.empty() || host.size() > 255)
        return false;
    for (const char c : host) {
        const bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
                        c == '-' || c == ':';
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

std::string utcTimestamp()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::tm parts{};
    gmtime_r(&now.tv_sec, &parts);
    char text[48];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
    std::snprintf(text + length, sizeof text - length, ".%03ldZ", now.tv_nsec / 1000000);
    return text;
}

// Connections are limited per address, and per /64 for IPv6 where one host holds a whole /64.
std::string connectionLimitKey(const sockaddr *address)
{
    if (address && address->sa_family == AF_INET6 &&
        !IN6_IS_ADDR_V4MAPPED(&reinterpret_cast<const sockaddr_in6 *>(address)->sin6_addr))
        return clientPrefix(address);
    return clientAddressText(address);
}

std::string header(MHD_Connection *connection, const char *name)
{
    const char *value = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
    return value ? value : "";
}

// The list as one reply object shared by every list request: its bytes go out from one buffer, whatever the
// number of clients, and live until the last connection that sends them is done.
MHD_Response *sharedTextResponse(std::string text)
{
    auto *body = new std::string(std::move(text));
    MHD_Response *response = MHD_create_response_from_buffer_with_free_callback_cls(
        body->size(), body->data(), [](void *owned) { delete static_cast<std::string *>(owned); }, body);
    if (!response) {
        delete body;
        return nullptr;
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/plain");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    return response;
}

} // namespace

// What the read-only requests answer, rebuilt from the store only when something changed.
struct Snapshot {
    Snapshot() = default;
    Snapshot(const Snapshot &) = delete;
    Snapshot &operator=(const Snapshot &) = delete;
    ~Snapshot()
    {
        if (listResponse)
            MHD_destroy_response(listResponse);
    }

    std::unordered_set<std::string> addresses;
    std::size_t listSize = 0;
    MHD_Response *listResponse = nullptr;
    std::string version;
    std::string versionDate;
    std::string motd;
};

// One client connection, from its accept to its close. The service answers one request per connection.
struct Connection {
    enum class Phase { New, Waiting, Ready, Answered };

    std::uint64_t id = 0;
    std::string limitKey;  // for the connection limit
    std::string clientKey; // prefix, for the request limits
    std::string clientText;
    int fd = -1; // the library's descriptor: looked at, shut down at a deadline, never closed here
    ino_t inode = 0;
    Clock::time_point accepted;
    std::atomic<bool> requestSeen{false}; // the whole head arrived: the request deadline no longer applies
    bool cutAtDeadline = false;           // under the connection mutex
    bool counted = false;                 // holds a share of its address's connections; under the mutex

    bool haveTarget = false;
    std::string rawTarget;
    std::string method;
    Clock::time_point requestStart;
    std::atomic<Phase> phase{Phase::New};
    Reply pending; // written by slow work before the connection is resumed
    int status = 0;
    std::string bytes = "-";
    const char *note = nullptr;
    bool logged = false;
};

struct MasterService::Impl {
    Impl(MasterStore &store, ServiceOptions options)
        : store(store)
        , options(std::move(options))
        , refusals(this->options.refusalLimit, this->options.refusalWindow)
        , passwordChecks(this->options.passwordChecksPerSecond, std::max(1.0, this->options.passwordChecksPerSecond))
    {
    }

    // Library callbacks.
    bool admit(const sockaddr *address);
    void connectionStarted(MHD_Connection *connection, void **context);
    void connectionClosed(MHD_Connection *connection, void **context);
    void *requestStarted(const char *uri, MHD_Connection *connection);
    MHD_Result onRequest(MHD_Connection *connection, const char *method, void **context);
    void requestCompleted(MHD_Connection *connection, void **context, MHD_RequestTerminationCode reason);

    MHD_Result answer(MHD_Connection *connection, Connection &conn);
    MHD_Result queue(MHD_Connection *connection, Connection &conn, const Reply &reply);
    MHD_Result answerList(MHD_Connection *connection, Connection &conn, const RequestTarget &target);
    MHD_Result answerInstaller(MHD_Connection *connection, Connection &conn);
    Reply answerVersion(MHD_Connection *connection);
    Reply answerHealth();
    MHD_Result startAdd(MHD_Connection *connection, Connection &conn, const RequestTarget &target);
    MHD_Result startDelete(MHD_Connection *connection, Connection &conn, const RequestTarget &target);
    // Slow work: the connection waits, suspended, until finish() hands it its reply.
    void suspend(MHD_Connection *connection, Connection &conn);
    void finish(MHD_Connection *connection, Connection &conn, Reply reply);
    void postAdd(MHD_Connection *connection, Connection &conn, const std::string &address);
    Reply deleteNow(const Connection &conn, const std::string &password, const std::string &server);

    bool signatureValid(MHD_Connection *connection, const RequestTarget &target) const;
    std::string publicHost(MHD_Connection *connection) const;
    void writeLog(const Connection &conn, const char *end);

    std::shared_ptr<const Snapshot> snapshot();
    bool refreshSnapshot(bool force);
    // The store's health for /healthz: a failed read is cleared by the next good read, a failed change by the
    // next change that went through.
    void readDone(const std::string &error);
    void writeDone(const std::string &error);
    void housekeeping();
    void cutLateRequests(Clock::time_point now);
    void releaseShare(Connection &conn);
    void shutDown();

    MasterStore &store;
    ServiceOptions options;
    MHD_Daemon *daemon = nullptr;
    int boundPort = 0;
    RateLimiter refusals;
    TokenBucket passwordChecks;
    std::unique_ptr<StatusProber> prober;
    std::unique_ptr<WorkerPool> workers;
    std::atomic<bool> stopping{false};
    std::atomic<int> waiting{0}; // connections suspended or resumed but not answered yet

    std::mutex snapshotMutex;
    std::shared_ptr<const Snapshot> current;
    std::string readError;  // under snapshotMutex; empty while the store works
    std::string writeError; // under snapshotMutex
    std::mutex rebuildMutex;
    long long dataVersion = -1; // under rebuildMutex

    std::mutex connectionMutex;
    std::uint64_t nextConnectionId = 1;
    std::unordered_map<std::uint64_t, Connection *> live;
    std::unordered_map<std::string, int> perAddress;
    std::deque<std::pair<Clock::time_point, std::uint64_t>> requestDeadlines; // in accept order

    std::mutex stopMutex;
    std::condition_variable stopSignal;
    bool stopRequested = false;
    std::thread keeper;
};

std::shared_ptr<const Snapshot> MasterService::Impl::snapshot()
{
    const std::lock_guard lock(snapshotMutex);
    return current;
}

void MasterService::Impl::readDone(const std::string &error)
{
    const std::lock_guard lock(snapshotMutex);
    readError = error;
}

void MasterService::Impl::writeDone(const std::string &error)
{
    const std::lock_guard lock(snapshotMutex);
    writeError = error;
}

bool MasterService::Impl::refreshSnapshot(bool force)
{
    const std::lock_guard rebuild(rebuildMutex);
    const long long version = store.dataVersion();
    if (version < 0) {
        readDone(store.lastError());
        return false;
    }
    if (!force && version == dataVersion && snapshot()) {
        readDone({});
        return true;
    }

    std::vector<std::string> servers;
    std::optional<std::string> versionText;
    std::optional<std::string> versionDate;
    std::optional<std::string> motd;
    if (!store.servers(servers) || !store.setting(kKeyVersion, versionText) ||
        !store.setting(kKeyVersionDate, versionDate) || !store.setting(kKeyMotd, motd)) {
        // The last good list stays in service; the failure shows in /healthz and the log.
        const std::string error = store.lastError();
        readDone(error);
        if (options.accessLog) {
            const std::string line =
                "time=" + utcTimestamp() + " event=store-error message=\"" + loggableTarget(error, 200) + "\"\n";
            std::fwrite(line.data(), 1, line.size(), stderr);
        }
        return false;
    }
    auto next = std::make_shared<Snapshot>();
    std::string list;
    for (auto &address : servers) {
        list += address;
        list += "\r\n";
        next->addresses.insert(std::move(address));
    }
    list += kListEndLine;
    list += "\r\n";
    next->listSize = list.size();
    next->listResponse = sharedTextResponse(std::move(list));
    if (!next->listResponse) {
        readDone("out of memory");
        return false;
    }
    next->version = versionText.value_or(PELORIX_VERSION_TEXT);
    next->versionDate = versionDate.value_or("");
    next->motd = motd.value_or("");
    dataVersion = version;
    const std::lock_guard lock(snapshotMutex);
    current = std::move(next);
    readError.clear();
    return true;
}

std::string MasterService::Impl::publicHost(MHD_Connection *connection) const
{
    if (!options.publicAddress.empty())
        return options.publicAddress;
    const std::string host = header(connection, MHD_HTTP_HEADER_HOST);
    if (plausibleHost(host))
        return host;
    const bool v6 = options.listenHost.find(':') != std::string::npos;
    return (v6 ? '[' + options.listenHost + ']' : options.listenHost) + ':' + std::to_string(boundPort);
}

bool MasterService::Impl::signatureValid(MHD_Connection *connection, const RequestTarget &target) const
{
    int number = 0;
    if (!parseSignatureNumber(target.value("s"), number))
        return false;
    return constantTimeEqual(header(connection, MHD_HTTP_HEADER_USER_AGENT), SignatureFor(number));
}

bool MasterService::Impl::admit(const sockaddr *address)
{
    if (stopping)
        return false;
    const std::string key = connectionLimitKey(address);
    const std::lock_guard lock(connectionMutex);
    const auto it = perAddress.find(key);
    return it == perAddress.end() || it->second < options.maxClientConnections;
}

void MasterService::Impl::connectionStarted(MHD_Connection *connection, void **context)
{
    auto conn = std::make_unique<Connection>();
    conn->accepted = Clock::now();
    const MHD_ConnectionInfo *address = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const sockaddr *peer = address ? address->client_addr : nullptr;
    conn->limitKey = connectionLimitKey(peer);
    conn->clientKey = clientPrefix(peer);
    conn->clientText = clientAddressText(peer);
    if (const MHD_ConnectionInfo *fd = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD)) {
        struct stat status {
        };
        if (::fstat(fd->connect_fd, &status) == 0) {
            conn->fd = fd->connect_fd;
            conn->inode = status.st_ino;
        }
    }
    bool overShare = false;
    {
        const std::lock_guard lock(connectionMutex);
        conn->id = nextConnectionId++;
        // The pool's threads accept side by side, so the admission check can let more connections of one address
        // through at once than its share: the count taken here is the one that holds. A connection beyond it is
        // ended at once, as if it had been refused.
        int &count = perAddress[conn->limitKey];
        if (count >= options.maxClientConnections) {
            overShare = true;
        } else {
            ++count;
            conn->counted = true;
        }
        if (count == 0)
            perAddress.erase(conn->limitKey);
        live.emplace(conn->id, conn.get());
        requestDeadlines.emplace_back(conn->accepted + std::chrono::seconds(options.requestTimeoutSeconds), conn->id);
    }
    if (overShare && conn->fd >= 0)
        ::shutdown(conn->fd, SHUT_RDWR);
    *context = conn.release();
}

// A connection gives its share back when its one request is done, not when the library gets round to closing
// it: a client that opens its next connection as soon as it has read a reply is not refused for the old one.
void MasterService::Impl::releaseShare(Connection &conn)
{
    const std::lock_guard lock(connectionMutex);
    if (!conn.counted)
        return;
    conn.counted = false;
    const auto it = perAddress.find(conn.limitKey);
    if (it != perAddress.end() && --it->second <= 0)
        perAddress.erase(it);
}

void MasterService::Impl::connectionClosed(MHD_Connection *connection, void **context)
{
    std::unique_ptr<Connection> conn(static_cast<Connection *>(*context));
    *context = nullptr;
    if (!conn)
        return;
    releaseShare(*conn);
    bool cut = false;
    {
        const std::lock_guard lock(connectionMutex);
        live.erase(conn->id);
        cut = conn->cutAtDeadline;
    }
    // A connection that never got as far as a complete request still gets its line, with the refusal the
    // HTTP layer sent (a request line too long, say) when there was one.
    if (!conn->logged) {
        if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS))
            conn->status = static_cast<int>(info->http_status);
        writeLog(*conn, cut ? "request-timeout" : "no-request");
    }
}

void *MasterService::Impl::requestStarted(const char *uri, MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    auto *conn = info ? static_cast<Connection *>(info->socket_context) : nullptr;
    if (!conn)
        return nullptr;
    conn->haveTarget = true;
    conn->rawTarget = uri ? uri : "";
    conn->requestStart = Clock::now();
    return conn;
}

void MasterService::Impl::writeLog(const Connection &conn, const char *end)
{
    if (!options.accessLog)
        return;
    const auto since = conn.haveTarget ? conn.requestStart : conn.accepted;
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - since).count();
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", ms);
    std::string line = "time=" + utcTimestamp() + " client=" + conn.clientText;
    line += " method=" + (conn.method.empty() ? std::string("-") : loggableTarget(conn.method, 16));
    line += " target=" + (conn.haveTarget ? '"' + loggableTarget(conn.rawTarget) + '"' : std::string("-"));
    line += " status=" + (conn.status ? std::to_string(conn.status) : std::string("-"));
    line += " bytes=" + conn.bytes + " ms=" + duration + " end=" + end;
    if (conn.note)
        line += std::string(" note=\"") + conn.note + '"';
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), stderr);
}

void MasterService::Impl::requestCompleted(MHD_Connection *connection, void **context,
                                           MHD_RequestTerminationCode reason)
{
    auto *conn = static_cast<Connection *>(*context);
    if (!conn || conn->logged)
        return;
    if (!conn->status) {
        // Refused by the HTTP layer itself (a head too large, a malformed line): its status is all we know.
        if (const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_HTTP_STATUS))
            conn->status = static_cast<int>(info->http_status);
    }
    const char *end = "ok";
    switch (reason) {
    case MHD_REQUEST_TERMINATED_COMPLETED_OK:
        end = "ok";
        break;
    case MHD_REQUEST_TERMINATED_TIMEOUT_REACHED:
        end = "idle-timeout";
        break;
    case MHD_REQUEST_TERMINATED_DAEMON_SHUTDOWN:
        end = "shutdown";
        break;
    case MHD_REQUEST_TERMINATED_CLIENT_ABORT:
    case MHD_REQUEST_TERMINATED_READ_ERROR:
        end = "client-gone";
        break;
    default:
        end = "error";
        break;
    }
    writeLog(*conn, end);
    conn->logged = true;
    releaseShare(*conn);
}

MHD_Result MasterService::Impl::queue(MHD_Connection *connection, Connection &conn, const Reply &reply)
{
    MHD_Response *response = MHD_create_response_from_buffer(reply.body.size(), const_cast<char *>(reply.body.data()),
                                                             MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    if (!reply.allow.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, reply.allow.c_str());
    conn.status = reply.status;
    conn.bytes = std::to_string(reply.body.size());
    conn.note = reply.note;
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Result MasterService::Impl::onRequest(MHD_Connection *connection, const char *method, void **context)
{
    auto *conn = static_cast<Connection *>(*context);
    if (!conn) {
        const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
        conn = info ? static_cast<Connection *>(info->socket_context) : nullptr;
        if (!conn)
            return MHD_NO;
        *context = conn;
    }
    switch (conn->phase.load()) {
    case Connection::Phase::New:
        break;
    case Connection::Phase::Ready:
        conn->phase = Connection::Phase::Answered;
        --waiting;
        return queue(connection, *conn, conn->pending);
    case Connection::Phase::Waiting:
    case Connection::Phase::Answered:
        return MHD_YES;
    }
    conn->requestSeen = true;
    conn->method = method ? method : "";
    return answer(connection, *conn);
}

MHD_Result MasterService::Impl::answer(MHD_Connection *connection, Connection &conn)
{
    const auto reply = [&](const Reply &r) {
        conn.phase = Connection::Phase::Answered;
        return queue(connection, conn, r);
    };
    if (conn.rawTarget.size() > kMaxTargetLength)
        return reply(statusPage(MHD_HTTP_URI_TOO_LONG));
    if (MHD_get_connection_values(connection, MHD_HEADER_KIND, nullptr, nullptr) > static_cast<int>(kMaxHeaderCount))
        return reply(statusPage(MHD_HTTP_REQUEST_HEADER_FIELDS_TOO_LARGE));

    const RequestTarget target = parseRequestTarget(conn.rawTarget);
    const std::string &path = target.path;
    const bool isList = path == kListPath || path == kAdminListPath;
    const bool isChange = path == kAddPath || path == kDeletePath;
    const bool isRead =
        isList || path == kVersionPath || path == kMotdPath || path == kInstallerPath || path == kHealthPath;
    if (!isRead && !isChange)
        return reply(statusPage(MHD_HTTP_NOT_FOUND));
    // Adding and deleting change the list: only a GET does, never a HEAD that some client sends to look.
    const bool get = conn.method == MHD_HTTP_METHOD_GET;
    if (!get && !(isRead && conn.method == MHD_HTTP_METHOD_HEAD)) {
        Reply refused = statusPage(MHD_HTTP_METHOD_NOT_ALLOWED, "method");
        refused.allow = isChange ? "GET" : "GET, HEAD";
        return reply(refused);
    }
    // No request carries a body: one that comes with a body is not read, only answered.
    const std::string length = header(connection, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if ((!length.empty() && length != "0") || !header(connection, MHD_HTTP_HEADER_TRANSFER_ENCODING).empty())
        return reply(statusPage(MHD_HTTP_CONTENT_TOO_LARGE));

    if (isList)
        return answerList(connection, conn, target);
    if (path == kVersionPath)
        return reply(answerVersion(connection));
    if (path == kMotdPath) {
        const auto shot = snapshot();
        return reply(shot ? textReply(shot->motd) : statusPage(MHD_HTTP_SERVICE_UNAVAILABLE, "store"));
    }
    if (path == kHealthPath)
        return reply(answerHealth());
    if (path == kInstallerPath)
        return answerInstaller(connection, conn);
    if (path == kAddPath)
        return startAdd(connection, conn, target);
    return startDelete(connection, conn, target);
}

MHD_Result MasterService::Impl::answerList(MHD_Connection *connection, Connection &conn, const RequestTarget &target)
{
    if (!signatureValid(connection, target)) {
        conn.phase = Connection::Phase::Answered;
        return queue(connection, conn, textReply(kRefusal, "signature", MHD_HTTP_FORBIDDEN));
    }
    const auto shot = snapshot();
    if (!shot) {
        conn.phase = Connection::Phase::Answered;
        return queue(connection, conn, textReply(kListUnavailable, "store", MHD_HTTP_SERVICE_UNAVAILABLE));
    }
    // A Range header is not honoured: the list always goes whole, in one reply from the shared buffer.
    conn.phase = Connection::Phase::Answered;
    conn.status = MHD_HTTP_OK;
    conn.bytes = std::to_string(shot->listSize);
    return MHD_queue_response(connection, MHD_HTTP_OK, shot->listResponse);
}

Reply MasterService::Impl::answerVersion(MHD_Connection *connection)
{
    const auto shot = snapshot();
    if (!shot)
        return statusPage(MHD_HTTP_SERVICE_UNAVAILABLE, "store");
    return textReply(shot->version + "\r\n" + shot->versionDate + "\r\nhttp://" + publicHost(connection) + kMotdPath +
                     "\r\n");
}

Reply MasterService::Impl::answerHealth()
{
    std::string error;
    std::shared_ptr<const Snapshot> shot;
    {
        const std::lock_guard lock(snapshotMutex);
        error = readError.empty() ? writeError : readError;
        shot = current;
    }
    if (stopping)
        return textReply("stopping\r\n", "health", MHD_HTTP_SERVICE_UNAVAILABLE);
    if (!error.empty() || !shot)
        return textReply("database error: " + (error.empty() ? std::string("no list") : error) + "\r\n", "health",
                         MHD_HTTP_SERVICE_UNAVAILABLE);
    std::size_t connections = 0;
    {
        const std::lock_guard lock(connectionMutex);
        connections = live.size();
    }
    return textReply("ok\r\nservers: " + std::to_string(shot->addresses.size()) + "\r\nconnections: " +
                     std::to_string(connections) + "\r\nprobes: " + std::to_string(prober->running()) + "\r\n");
}

MHD_Result MasterService::Impl::answerInstaller(MHD_Connection *connection, Connection &conn)
{
    conn.phase = Connection::Phase::Answered;
    if (options.installerPath.empty())
        return queue(connection, conn, statusPage(MHD_HTTP_NOT_FOUND));
    UniqueFd file(::open(options.installerPath.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat status {
    };
    if (file.get() < 0 || ::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode))
        return queue(connection, conn, statusPage(MHD_HTTP_NOT_FOUND));
    // Sent straight from the file by the kernel: no download holds a copy of the installer.
    const auto size = static_cast<std::uint64_t>(status.st_size);
    MHD_Response *response = MHD_create_response_from_fd64(size, file.get());
    if (!response)
        return queue(connection, conn, statusPage(MHD_HTTP_INTERNAL_SERVER_ERROR));
    [[maybe_unused]] const int handedOver = file.release(); // the reply closes it
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/octet-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    conn.status = MHD_HTTP_OK;
    conn.bytes = std::to_string(size);
    const MHD_Result queued = MHD_queue_response(connection, MHD_HTTP_OK, response);
    MHD_destroy_response(response);
    return queued;
}

void MasterService::Impl::suspend(MHD_Connection *connection, Connection &conn)
{
    conn.phase = Connection::Phase::Waiting;
    ++waiting;
    MHD_suspend_connection(connection);
}

void MasterService::Impl::finish(MHD_Connection *connection, Connection &conn, Reply reply)
{
    conn.pending = std::move(reply);
    conn.phase = Connection::Phase::Ready;
    MHD_resume_connection(connection);
}

MHD_Result MasterService::Impl::startAdd(MHD_Connection *connection, Connection &conn, const RequestTarget &target)
{
    const auto reply = [&](const Reply &r) {
        conn.phase = Connection::Phase::Answered;
        return queue(connection, conn, r);
    };
    const auto server = parseServerAddress(target.value("server"));
    if (!server)
        return reply(textReply("1;invalid address, expected a.b.c.d:port", "invalid address"));
    const AddressKind kind = addressKind(server->ip);
    const bool allowed = kind == AddressKind::Public || (kind == AddressKind::Private && options.allowPrivate) ||
                         (kind == AddressKind::Loopback && options.allowLoopback);
    if (!allowed)
        return reply(textReply("1;local or reserved address", "special-purpose address"));
    const auto shot = snapshot();
    if (!shot)
        return reply(textReply("1;database error, try again later", "store", MHD_HTTP_SERVICE_UNAVAILABLE));
    const std::string address = server->text();
    if (shot->addresses.count(address))
        return reply(textReply("1;already listed", "already listed"));
    if (stopping)
        return reply(textReply("1;busy, try again later", "stopping", MHD_HTTP_SERVICE_UNAVAILABLE));

    suspend(connection, conn);
    if (!options.checkStatus) {
        postAdd(connection, conn, address);
        return MHD_YES;
    }
    const auto admission =
        prober->start(*server, conn.clientKey, [this, connection, &conn, address](StatusProber::Result result) {
            if (result == StatusProber::Result::Answered)
                postAdd(connection, conn, address);
            else if (result == StatusProber::Result::NoAnswer)
                finish(connection, conn, textReply("1;the server did not answer a status query", "no answer"));
            else
                finish(connection, conn,
                       textReply("1;busy, try again later", "stopping", MHD_HTTP_SERVICE_UNAVAILABLE));
        });
    switch (admission) {
    case StatusProber::Admission::Started:
        break;
    case StatusProber::Admission::ClientBusy:
    case StatusProber::Admission::ClientRate:
        finish(connection, conn,
               textReply("1;too many adds, try again later", "client probe limit", MHD_HTTP_TOO_MANY_REQUESTS));
        break;
    case StatusProber::Admission::DestinationRate:
        finish(connection, conn,
               textReply("1;too many adds, try again later", "destination probe limit", MHD_HTTP_TOO_MANY_REQUESTS));
        break;
    case StatusProber::Admission::Full:
    case StatusProber::Admission::Stopping:
        finish(connection, conn, textReply("1;busy, try again later", "probe slots", MHD_HTTP_SERVICE_UNAVAILABLE));
        break;
    }
    return MHD_YES;
}

void MasterService::Impl::postAdd(MHD_Connection *connection, Connection &conn, const std::string &address)
{
    const bool posted = workers->post([this, connection, &conn, address](bool cancelled) {
        if (cancelled) {
            finish(connection, conn, textReply("1;busy, try again later", "stopping", MHD_HTTP_SERVICE_UNAVAILABLE));
            return;
        }
        switch (store.addServer(address)) {
        case MasterStore::AddResult::Added:
            writeDone({});
            refreshSnapshot(true);
            finish(connection, conn, textReply("0;added", "added"));
            return;
        case MasterStore::AddResult::Duplicate:
            writeDone({});
            finish(connection, conn, textReply("1;already listed", "already listed"));
            return;
        case MasterStore::AddResult::Failed:
            writeDone(store.lastError());
            finish(connection, conn,
                   textReply("1;database error, try again later", "store", MHD_HTTP_SERVICE_UNAVAILABLE));
            return;
        }
    });
    if (!posted)
        finish(connection, conn, textReply("1;busy, try again later", "work queue", MHD_HTTP_SERVICE_UNAVAILABLE));
}

MHD_Result MasterService::Impl::startDelete(MHD_Connection *connection, Connection &conn, const RequestTarget &target)
{
    // The browser reads an empty reply as "deleted" and anything else as a refusal.
    const auto reply = [&](const Reply &r) {
        conn.phase = Connection::Phase::Answered;
        return queue(connection, conn, r);
    };
    const auto refuse = [&](const char *text, const char *note) {
        refusals.record(conn.clientKey);
        return reply(textReply(text, note, MHD_HTTP_FORBIDDEN));
    };
    if (refusals.blocked(conn.clientKey))
        return reply(
            textReply("1;too many refused attempts, try again later", "refusal limit", MHD_HTTP_TOO_MANY_REQUESTS));
    if (!signatureValid(connection, target))
        return refuse("1;bad signature", "signature");
    const std::string password = target.value("pwd");
    if (password.find('\0') != std::string::npos)
        return refuse("1;wrong password", "password");
    // Checks are expensive by design; all clients together get a few a second, so a guessing run from many
    // addresses costs the service a small, fixed share of one processor.
    if (!passwordChecks.take())
        return reply(
            textReply("1;too many attempts, try again later", "password check limit", MHD_HTTP_TOO_MANY_REQUESTS));
    if (stopping)
        return reply(textReply("1;busy, try again later", "stopping", MHD_HTTP_SERVICE_UNAVAILABLE));
    suspend(connection, conn);
    const std::string server = target.value("server");
    const bool posted = workers->post([this, connection, &conn, password, server](bool cancelled) {
        if (cancelled)
            finish(connection, conn, textReply("1;busy, try again later", "stopping", MHD_HTTP_SERVICE_UNAVAILABLE));
        else
            finish(connection, conn, deleteNow(conn, password, server));
    });
    if (!posted)
        finish(connection, conn, textReply("1;busy, try again later", "work queue", MHD_HTTP_SERVICE_UNAVAILABLE));
    return MHD_YES;
}

Reply MasterService::Impl::deleteNow(const Connection &conn, const std::string &password, const std::string &server)
{
    const auto storeError = [this] {
        writeDone(store.lastError());
        return textReply("1;database error, try again later", "store", MHD_HTTP_SERVICE_UNAVAILABLE);
    };
    std::optional<std::string> stored;
    if (!store.setting(kKeyPassword, stored))
        return storeError();
    if (!stored || !verifyPassword(password, *stored)) {
        refusals.record(conn.clientKey);
        return textReply("1;wrong password", "password", MHD_HTTP_FORBIDDEN);
    }
    const auto address = parseServerAddress(server);
    if (!address)
        return textReply("1;not listed", "not listed");
    switch (store.removeServer(address->text())) {
    case MasterStore::RemoveResult::Removed:
        writeDone({});
        refreshSnapshot(true);
        return textReply("", "deleted");
    case MasterStore::RemoveResult::NotListed:
        writeDone({});
        return textReply("1;not listed", "not listed");
    case MasterStore::RemoveResult::Failed:
        break;
    }
    return storeError();
}

void MasterService::Impl::cutLateRequests(Clock::time_point now)
{
    const std::lock_guard lock(connectionMutex);
    while (!requestDeadlines.empty() && requestDeadlines.front().first <= now) {
        const auto id = requestDeadlines.front().second;
        requestDeadlines.pop_front();
        const auto it = live.find(id);
        if (it == live.end() || it->second->requestSeen)
            continue;
        Connection &conn = *it->second;
        // The library closes the connection when it sees the end of the stream. The descriptor is still the
        // connection's own: it is closed only after the close notice, which takes this mutex.
        struct stat status {
        };
        if (conn.fd >= 0 && ::fstat(conn.fd, &status) == 0 && status.st_ino == conn.inode) {
            conn.cutAtDeadline = true;
            ::shutdown(conn.fd, SHUT_RDWR);
        }
    }
}

void MasterService::Impl::housekeeping()
{
    auto nextRefresh = Clock::now() + std::chrono::seconds(1);
    std::unique_lock lock(stopMutex);
    while (!stopRequested) {
        stopSignal.wait_for(lock, std::chrono::milliseconds(100));
        lock.unlock();
        const auto now = Clock::now();
        cutLateRequests(now);
        // The administration commands change the file from another process: look for that once a second.
        if (now >= nextRefresh) {
            refreshSnapshot(false);
            nextRefresh = now + std::chrono::seconds(1);
        }
        lock.lock();
    }
}

void MasterService::Impl::shutDown()
{
    stopping = true;
    // No new connections; then every connection that waits for slow work gets its answer, so that none is
    // left suspended when the library closes them all.
    // The quiesced listening socket is ours: it closes here, before the connections are wound down.
    UniqueFd listener(MHD_quiesce_daemon(daemon));
    listener.reset();
    prober->stop();
    workers->stop();
    if (keeper.joinable())
        keeper.join();
    // Give the answers just handed over a moment to go out before every connection is closed.
    const auto giveUp = Clock::now() + std::chrono::seconds(1);
    while (waiting > 0 && Clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    MHD_stop_daemon(daemon);
    daemon = nullptr;
}

MasterService::MasterService(MasterStore &store, ServiceOptions options)
    : m_impl(std::make_unique<Impl>(store, std::move(options)))
{
}

MasterService::~MasterService()
{
    if (m_impl->daemon) {
        stop();
        m_impl->shutDown();
    }
}

bool MasterService::bind(std::string &error)
{
    Impl &impl = *m_impl;
    const ServiceOptions &options = impl.options;
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr *address = nullptr;
    unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME;
    if (inet_pton(AF_INET, options.listenHost.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = htons(static_cast<std::uint16_t>(options.port));
        address = reinterpret_cast<const sockaddr *>(&v4);
    } else if (inet_pton(AF_INET6, options.listenHost.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = htons(static_cast<std::uint16_t>(options.port));
        address = reinterpret_cast<const sockaddr *>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        error = "not an IPv4 or IPv6 address: " + options.listenHost;
        return false;
    }
    if (!impl.refreshSnapshot(true)) {
        // Served all the same: list requests answer 503 and /healthz says why until the store recovers.
        std::fprintf(stderr, "pelorix-master: the database cannot be read: %s\n", impl.store.lastError().c_str());
    }

    StatusProber::Limits limits;
    limits.timeoutMs = options.statusTimeoutMs;
    limits.maxProbes = options.maxProbes;
    limits.probesPerClient = options.probesPerClient;
    limits.clientProbesPerMinute = options.clientProbesPerMinute;
    limits.destinationProbesPerMinute = options.destinationProbesPerMinute;
    impl.prober = std::make_unique<StatusProber>(limits);
    impl.workers = std::make_unique<WorkerPool>(options.workers, kMaxQueuedJobs);

    const unsigned threads = options.threads > 0 ? static_cast<unsigned>(options.threads)
                                                 : std::max(2u, std::thread::hardware_concurrency());
    MHD_AcceptPolicyCallback admit = [](void *cls, const sockaddr *peer, socklen_t) {
        return static_cast<Impl *>(cls)->admit(peer) ? MHD_YES : MHD_NO;
    };
    MHD_AccessHandlerCallback handler = [](void *cls, MHD_Connection *connection, const char *, const char *method,
                                           const char *, const char *, size_t *uploadSize, void **context) {
        auto *self = static_cast<Impl *>(cls);
        const MHD_Result result = self->onRequest(connection, method, context);
        *uploadSize = 0; // a body is never read: the reply was queued before it
        return result;
    };
    MHD_NotifyConnectionCallback notify = [](void *cls, MHD_Connection *connection, void **context,
                                             MHD_ConnectionNotificationCode code) {
        auto *self = static_cast<Impl *>(cls);
        if (code == MHD_CONNECTION_NOTIFY_STARTED)
            self->connectionStarted(connection, context);
        else
            self->connectionClosed(connection, context);
    };
    MHD_RequestCompletedCallback completed = [](void *cls, MHD_Connection *connection, void **context,
                                                MHD_RequestTerminationCode reason) {
        static_cast<Impl *>(cls)->requestCompleted(connection, context, reason);
    };
    using UriLogger = void *(*)(void *, const char *, MHD_Connection *);
    UriLogger uriLogger = [](void *cls, const char *uri, MHD_Connection *connection) {
        return static_cast<Impl *>(cls)->requestStarted(uri, connection);
    };
    impl.daemon = MHD_start_daemon(
        flags, static_cast<std::uint16_t>(options.port), admit, &impl, handler, &impl, MHD_OPTION_SOCK_ADDR, address,
        MHD_OPTION_THREAD_POOL_SIZE, threads, MHD_OPTION_CONNECTION_LIMIT,
        static_cast<unsigned>(std::max(1, options.maxConnections)), MHD_OPTION_CONNECTION_TIMEOUT,
        static_cast<unsigned>(std::max(1, options.idleTimeoutSeconds)), MHD_OPTION_CONNECTION_MEMORY_LIMIT,
        options.connectionMemory, MHD_OPTION_CONNECTION_MEMORY_INCREMENT, static_cast<std::size_t>(1024),
        MHD_OPTION_LISTEN_BACKLOG_SIZE, kListenBacklog, MHD_OPTION_NOTIFY_CONNECTION, notify, &impl,
        MHD_OPTION_NOTIFY_COMPLETED, completed, &impl, MHD_OPTION_URI_LOG_CALLBACK, uriLogger, &impl,
        MHD_OPTION_SIGPIPE_HANDLED_BY_APP, 1, MHD_OPTION_END);
    if (!impl.daemon) {
        impl.prober->stop();
        impl.workers->stop();
        error = "cannot listen on " + options.listenHost + ':' + std::to_string(options.port);
        return false;
    }
    const MHD_DaemonInfo *info = MHD_get_daemon_info(impl.daemon, MHD_DAEMON_INFO_BIND_PORT);
    impl.boundPort = info ? info->port : options.port;
    impl.keeper = std::thread([&impl] { impl.housekeeping(); });
    return true;
}

int MasterService::port() const
{
    return m_impl->boundPort;
}

bool MasterService::run()
{
    Impl &impl = *m_impl;
    if (!impl.daemon)
        return false;
    {
        std::unique_lock lock(impl.stopMutex);
        impl.stopSignal.wait(lock, [&impl] { return impl.stopRequested; });
    }
    impl.shutDown();
    return true;
}

void MasterService::stop()
{
    {
        const std::lock_guard lock(m_impl->stopMutex);
        m_impl->stopRequested = true;
    }
    m_impl->stopSignal.notify_all();
}

} // namespace pelorix::master
