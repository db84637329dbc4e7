#include "discovery/HttpExchange.h"

#include "core/Text.h"
#include "platform/UniqueFd.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace pelorix::http
{

namespace
{

using Clock = std::chrono::steady_clock;

class AddressList
{
  public:
    AddressList(const std::string &host, int port)
    {
        addrinfo hints{};
        hints.ai_family = AF_UNSPEC;
        hints.ai_socktype = SOCK_STREAM;
        if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &m_list) != 0)
            m_list = nullptr;
    }
    ~AddressList()
    {
        if (m_list)
            ::freeaddrinfo(m_list);
    }
    AddressList(const AddressList &) = delete;
    AddressList &operator=(const AddressList &) = delete;
    const addrinfo *first() const { return m_list; }

  private:
    addrinfo *m_list = nullptr;
};

// Ends an exchange early with the given outcome.
struct Stop {
    Outcome outcome;
};

// The end of the whole transfer, when it has one.
class Deadline
{
  public:
    explicit Deadline(int transferMs)
    {
        if (transferMs > 0)
            m_end = Clock::now() + std::chrono::milliseconds(transferMs);
    }
    bool bounded() const { return m_end.has_value(); }
    long long msLeft() const { return std::chrono::ceil<std::chrono::milliseconds>(*m_end - Clock::now()).count(); }

  private:
    std::optional<Clock::time_point> m_end;
};

enum class Wait { Ready, Silent, Expired, Error };

// Waits for events on fd at most waitMs (-1: no limit of its own) and never past the deadline.
Wait waitFor(int fd, short events, int waitMs, const Deadline &deadline)
{
    const auto waitEnd = Clock::now() + std::chrono::milliseconds(waitMs < 0 ? 0 : waitMs);
    for (;;) {
        long long timeout = -1;
        if (waitMs >= 0)
            timeout =
                std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(waitEnd - Clock::now()).count());
        bool transferBound = false;
        if (deadline.bounded()) {
            const long long left = deadline.msLeft();
            if (left <= 0)
                return Wait::Expired;
            if (timeout < 0 || left < timeout) {
                timeout = left;
                transferBound = true;
            }
        }
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, static_cast<int>(timeout));
        if (r > 0)
            return Wait::Ready;
        if (r == 0)
            return transferBound ? Wait::Expired : Wait::Silent;
        if (errno != EINTR)
            return Wait::Error;
    }
}

// A connected socket, or an invalid one when no address of host accepts the connection.
UniqueFd connectTo(const std::string &host, int port, const Deadline &deadline)
{
    const AddressList addresses(host, port);
    for (const addrinfo *a = addresses.first(); a; a = a->ai_next) {
        UniqueFd s(::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol));
        if (!s.valid() && (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM))
            throw Stop{Outcome::Fault}; // the client itself is out of sockets, not the host out of reach
        if (!s.valid())
            continue;
        if (::connect(s.get(), a->ai_addr, a->ai_addrlen) == 0)
            return s;
        if (errno != EINPROGRESS)
            continue;
        // The attempt itself has the system's limit; only the whole transfer's bounds it here.
        if (waitFor(s.get(), POLLOUT, -1, deadline) != Wait::Ready)
            continue;
        int error = 0;
        socklen_t len = sizeof error;
        if (::getsockopt(s.get(), SOL_SOCKET, SO_ERROR, &error, &len) == 0 && error == 0)
            return s;
    }
    return UniqueFd();
}

void sendAll(int fd, std::string_view data, const ExchangeLimits &limits, const Deadline &deadline)
{
    while (!data.empty()) {
        const ssize_t n = ::send(fd, data.data(), data.size(), MSG_NOSIGNAL);
        if (n > 0) {
            data.remove_prefix(static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            const Wait w = waitFor(fd, POLLOUT, limits.waitForDataMs, deadline);
            if (w == Wait::Ready)
                continue;
            throw Stop{w == Wait::Expired ? Outcome::Fault : Outcome::Broken};
        }
        throw Stop{Outcome::Broken};
    }
}

// The connection's bytes, each wait bounded by the wait limit and by the end of the whole transfer.
class SocketSource final : public ByteSource
{
  public:
    SocketSource(int fd, const ExchangeLimits &limits, const Deadline &deadline)
        : m_fd(fd)
        , m_limits(limits)
        , m_deadline(deadline)
    {
    }

    Read read(char *buffer, std::size_t capacity) override
    {
        for (;;) {
            const Wait w = waitFor(m_fd, POLLIN, m_limits.waitForDataMs, m_deadline);
            if (w == Wait::Expired)
                return {0, Outcome::Fault};
            if (w != Wait::Ready)
                return {0, Outcome::Broken};
            const ssize_t n = ::recv(m_fd, buffer, capacity, 0);
            if (n > 0) {
                m_anyBytes = true;
                return {static_cast<std::size_t>(n), Outcome::Complete};
            }
            if (n == 0)
                return {0, Outcome::Complete};
            if (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK)
                return {0, Outcome::Broken};
        }
    }

    bool anyBytes() const { return m_anyBytes; }

  private:
    int m_fd; // the exchange's socket, lent for the reading
    bool m_anyBytes = false;
    const ExchangeLimits &m_limits;
    const Deadline &m_deadline;
};

// Buffered reading of the reply from its source.
class Reader
{
  public:
    explicit Reader(ByteSource &source)
        : m_source(source)
    {
    }

    // One line without its LF (and a CR before it); empty when the input ended first.
    // A line longer than maxLength is a fault.
    std::optional<std::string> readLine(std::size_t maxLength)
    {
        std::size_t scanned = m_pos;
        for (;;) {
            const auto nl = m_buf.find('\n', scanned);
            if (nl != std::string::npos) {
                std::size_t end = nl;
                if (end > m_pos && m_buf[end - 1] == '\r')
                    --end;
                if (end - m_pos > maxLength)
                    throw Stop{Outcome::Fault};
                std::string line = m_buf.substr(m_pos, end - m_pos);
                m_pos = nl + 1;
                return line;
            }
            if (m_buf.size() - m_pos > maxLength + 1)
                throw Stop{Outcome::Fault};
            scanned = m_buf.size();
            const std::size_t before = m_pos;
            if (!fill())
                return std::nullopt;
            scanned -= before - m_pos; // fill() may have moved the unread bytes to the front
        }
    }

    // Bytes already received and not yet taken.
    std::string_view buffered() const { return std::string_view(m_buf).substr(m_pos); }
    void consume(std::size_t n) { m_pos += n; }

    // Receives more bytes; false when the input ended cleanly.
    bool fill()
    {
        if (m_pos == m_buf.size()) {
            m_buf.clear();
            m_pos = 0;
        } else if (m_pos > kPiece) {
            m_buf.erase(0, m_pos);
            m_pos = 0;
        }
        char piece[kPiece];
        const ByteSource::Read r = m_source.read(piece, sizeof piece);
        if (r.size > 0) {
            m_buf.append(piece, std::min(r.size, sizeof piece));
            return true;
        }
        if (r.end == Outcome::Complete)
            return false;
        throw Stop{r.end};
    }

  private:
    static constexpr std::size_t kPiece = 65536;

    ByteSource &m_source;
    std::string m_buf;
    std::size_t m_pos = 0;
};

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// "HTTP/" major "." minor, blanks, a three-digit status from 100 up, then the end or a blank and the reason.
bool parseStatusLine(std::string_view line, int &status)
{
    if (line.substr(0, 5) != "HTTP/")
        return false;
    std::size_t i = 5;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < line.size() && isDigit(line[i]))
            ++i;
        return i > start;
    };
    if (!digits() || i >= line.size() || line[i] != '.')
        return false;
    ++i;
    if (!digits() || i >= line.size() || line[i] != ' ')
        return false;
    while (i < line.size() && line[i] == ' ')
        ++i;
    if (i + 3 > line.size() || !isDigit(line[i]) || !isDigit(line[i + 1]) || !isDigit(line[i + 2]))
        return false;
    if (i + 3 < line.size() && line[i + 3] != ' ' && line[i + 3] != '\t')
        return false;
    const int code = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
    if (code < 100)
        return false;
    status = code;
    return true;
}

// Decimal digits only, at most 18 of them.
bool parseLength(std::string_view text, std::size_t &value)
{
    text = trimBlanks(text);
    if (text.empty() || text.size() > 18)
        return false;
    std::size_t v = 0;
    for (const char c : text) {
        if (!isDigit(c))
            return false;
        v = v * 10 + static_cast<std::size_t>(c - '0');
    }
    value = v;
    return true;
}

// A chunk-size line: hexadecimal digits, then optional blanks and a ";" extension.
bool parseChunkSize(std::string_view line, std::size_t &value)
{
    const auto semicolon = line.find(';');
    line = trimBlanks(line.substr(0, semicolon));
    if (line.empty() || line.size() > 15)
        return false;
    std::size_t v = 0;
    for (const char c : line) {
        int digit = 0;
        if (isDigit(c))
            digit = c - '0';
        else if (c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return false;
        v = v * 16 + static_cast<std::size_t>(digit);
    }
    value = v;
    return true;
}

class BodyReader
{
  public:
    BodyReader(Reader &in, const ExchangeLimits &limits, const BodySink &sink)
        : m_in(in)
        , m_limits(limits)
        , m_sink(sink)
    {
    }

    void exactly(std::size_t length)
    {
        while (length > 0) {
            if (m_in.buffered().empty() && !m_in.fill())
                throw Stop{Outcome::Broken}; // closed before the announced length arrived
            const auto piece = m_in.buffered().substr(0, length);
            deliver(piece);
            m_in.consume(piece.size());
            length -= piece.size();
        }
    }

    void untilClose()
    {
        for (;;) {
            const auto piece = m_in.buffered();
            deliver(piece);
            m_in.consume(piece.size());
            if (!m_in.fill())
                return;
        }
    }

    void chunked()
    {
        for (;;) {
            const auto sizeLine = m_in.readLine(m_limits.maxHeadBytes);
            if (!sizeLine)
                throw Stop{Outcome::Broken};
            std::size_t size = 0;
            if (!parseChunkSize(*sizeLine, size))
                throw Stop{Outcome::Fault};
            if (size == 0)
                break;
            if (m_limits.maxBodyBytes && size > m_limits.maxBodyBytes)
                throw Stop{Outcome::Fault};
            exactly(size);
            const auto end = m_in.readLine(1);
            if (!end)
                throw Stop{Outcome::Broken};
            if (!end->empty())
                throw Stop{Outcome::Fault}; // chunk data longer than its size
        }
        // Trailer lines up to the empty line; a close here loses nothing of the body.
        for (;;) {
            const auto trailer = m_in.readLine(m_limits.maxHeadBytes);
            if (!trailer || trailer->empty())
                return;
        }
    }

  private:
    void deliver(std::string_view piece)
    {
        if (piece.empty())
            return;
        m_total += piece.size();
        if (m_limits.maxBodyBytes && m_total > m_limits.maxBodyBytes)
            throw Stop{Outcome::Fault};
        if (!m_sink(piece))
            throw Stop{Outcome::Fault};
    }

    Reader &m_in;
    const ExchangeLimits &m_limits;
    const BodySink &m_sink;
    std::size_t m_total = 0;
};

const std::string *headerValue(const Response &response, std::string_view name)
{
    for (const auto &[n, v] : response.headers) {
        if (equalsIgnoringAsciiCase(n, name))
            return &v;
    }
    return nullptr;
}

void readHead(Reader &in, Response &response, const ExchangeLimits &limits)
{
    for (int interim = 0;; ++interim) {
        std::size_t budget = limits.maxHeadBytes;
        const auto take = [&]() -> std::string {
            auto line = in.readLine(budget);
            if (!line)
                throw Stop{Outcome::Broken};
            budget -= std::min(budget, line->size() + 1);
            return std::move(*line);
        };
        std::string statusLine = take();
        while (statusLine.empty()) // stray line breaks before the status line
            statusLine = take();
        if (!parseStatusLine(statusLine, response.status))
            throw Stop{Outcome::Fault};
        response.headers.clear();
        for (;;) {
            const std::string line = take();
            if (line.empty())
                break;
            if (line.front() == ' ' || line.front() == '\t')
                continue; // a folded continuation adds nothing the client reads
            const auto colon = line.find(':');
            if (colon == std::string::npos)
                continue;
            const std::string_view text(line);
            response.headers.emplace_back(std::string(trimBlanks(text.substr(0, colon))),
                                          std::string(trimBlanks(text.substr(colon + 1))));
        }
        if (response.status >= 200)
            break; // interim replies (1xx) are followed by the real one
        // A peer that only ever answers "wait" would otherwise hold the exchange for good.
        if (interim >= limits.maxInterimReplies)
            throw Stop{Outcome::Fault};
    }
    response.headComplete = true;
}

void readBody(Reader &in, const Response &response, const ExchangeLimits &limits, const BodySink &sink)
{
    if (response.status == 204 || response.status == 304)
        return;
    BodyReader body(in, limits, sink);
    const std::string *encoding = headerValue(response, "Transfer-Encoding");
    if (encoding && asciiLower(*encoding).find("chunked") != std::string::npos) {
        body.chunked();
        return;
    }
    std::optional<std::size_t> length;
    for (const auto &[name, value] : response.headers) {
        if (!equalsIgnoringAsciiCase(name, "Content-Length"))
            continue;
        std::size_t v = 0;
        if (!parseLength(value, v) || (length && *length != v))
            throw Stop{Outcome::Fault};
        length = v;
    }
    if (!length) {
        body.untilClose();
        return;
    }
    if (limits.maxBodyBytes && *length > limits.maxBodyBytes)
        throw Stop{Outcome::Fault};
    body.exactly(*length);
}

} // namespace

bool parseUrl(std::string_view address, Url &url)
{
    constexpr std::string_view scheme = "http://";
    if (address.size() < scheme.size() || !equalsIgnoringAsciiCase(address.substr(0, scheme.size()), scheme))
        return false;
    address.remove_prefix(scheme.size());
    const auto fragment = address.find('#');
    address = address.substr(0, fragment);
    const auto authorityEnd = address.find_first_of("/?");
    std::string_view authority = address.substr(0, authorityEnd);
    std::string_view rest = authorityEnd == std::string_view::npos ? std::string_view() : address.substr(authorityEnd);
    if (authority.find('@') != std::string_view::npos)
        return false;
    Url out;
    std::string_view portText;
    if (!authority.empty() && authority.front() == '[') {
        const auto close = authority.find(']');
        if (close == std::string_view::npos)
            return false;
        out.host = std::string(authority.substr(1, close - 1));
        const std::string_view after = authority.substr(close + 1);
        if (!after.empty()) {
            if (after.front() != ':')
                return false;
            portText = after.substr(1);
            out.portGiven = true;
        }
    } else {
        const auto colon = authority.rfind(':');
        out.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = authority.substr(colon + 1);
            out.portGiven = true;
        }
    }
    if (out.host.empty())
        return false;
    if (out.portGiven) {
        int port = 0;
        if (portText.empty() || !isDigit(portText.front()) || !parseInt32(portText, port) || port < 1 || port > 65535)
            return false;
        out.port = port;
    }
    // Built in place: GCC's -Wrestrict misreads "/" + std::string(rest) once it is inlined.
    out.pathAndQuery.reserve(rest.size() + 1);
    if (rest.empty() || rest.front() != '/')
        out.pathAndQuery += '/';
    out.pathAndQuery += rest;
    url = std::move(out);
    return true;
}

BufferSource::BufferSource(std::string_view bytes, std::size_t pieceSize)
    : m_bytes(bytes)
    , m_pieceSize(std::max<std::size_t>(pieceSize, 1))
{
}

ByteSource::Read BufferSource::read(char *buffer, std::size_t capacity)
{
    const std::size_t n = std::min({m_bytes.size(), m_pieceSize, capacity});
    std::copy_n(m_bytes.data(), n, buffer);
    m_bytes.remove_prefix(n);
    return {n, Outcome::Complete};
}

Response readResponse(ByteSource &source, const ExchangeLimits &limits, const BodySink &sink)
{
    Response response;
    try {
        Reader in(source);
        readHead(in, response, limits);
        readBody(in, response, limits, sink);
        response.outcome = Outcome::Complete;
    } catch (const Stop &stop) {
        response.outcome = stop.outcome;
    }
    return response;
}

Response exchange(const std::string &host, int port, std::string_view request, const ExchangeLimits &limits,
                  const BodySink &sink)
{
    const Deadline deadline(limits.transferMs);
    UniqueFd socket;
    try {
        socket = connectTo(host, port, deadline);
        if (!socket.valid())
            return Response{};
        sendAll(socket.get(), request, limits, deadline);
    } catch (const Stop &stop) {
        Response response;
        response.outcome = stop.outcome;
        return response;
    }
    SocketSource source(socket.get(), limits, deadline);
    Response response = readResponse(source, limits, sink);
    response.replyStarted = source.anyBytes();
    return response;
}

void applySetCookie(std::vector<std::string> &jar, std::string_view setCookie)
{
    const std::string_view pair = setCookie.substr(0, setCookie.find(';'));
    const auto eq = pair.find('=');
    if (eq == std::string_view::npos)
        return;
    const std::string_view name = trimBlanks(pair.substr(0, eq));
    const std::string_view value = trimBlanks(pair.substr(eq + 1));
    if (name.empty() || name.size() + 1 + value.size() > kMaxCookieBytes)
        return;
    auto entry = jar.begin();
    for (; entry != jar.end(); ++entry) {
        if (equalsIgnoringAsciiCase(std::string_view(*entry).substr(0, entry->find('=')), name))
            break;
    }
    if (value.empty()) {
        if (entry != jar.end())
            jar.erase(entry);
        return;
    }
    std::string cookie;
    cookie.reserve(name.size() + 1 + value.size());
    cookie.append(name).append(1, '=').append(value);
    if (entry != jar.end())
        *entry = std::move(cookie);
    else if (jar.size() < kMaxCookies)
        jar.push_back(std::move(cookie));
}

void applySetCookies(const Response &response, std::vector<std::string> &jar)
{
    for (const auto &[name, value] : response.headers) {
        if (equalsIgnoringAsciiCase(name, "Set-Cookie"))
            applySetCookie(jar, value);
    }
}

} // namespace pelorix::http
