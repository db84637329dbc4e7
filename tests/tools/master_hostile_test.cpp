// pelorix-master against hostile clients: thousands of idle and trickling connections, endless request
// heads, range floods, HEAD to the changing requests, adds aimed at special-purpose addresses (inside a
// private network namespace of the test's own), password guessing, a broken database and SIGTERM under load.
// Clients talk from loopback addresses only; the service is started and stopped by each test.
#include "discovery/RequestSignature.h"
#include "platform/UniqueFd.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>
#include <vector>

using namespace pelorix;
using namespace std::chrono_literals;

namespace
{

using Clock = std::chrono::steady_clock;

struct Reply {
    bool closed = false; // the service closed the connection before the deadline
    int status = 0;
    std::string head;
    std::string body;

    std::string header(const std::string &name) const
    {
        const std::string key = "\r\n" + name + ": ";
        const auto at = head.find(key);
        if (at == std::string::npos)
            return {};
        const auto start = at + key.size();
        return head.substr(start, head.find("\r\n", start) - start);
    }
};

sockaddr_in loopback(int port, const char *host = "127.0.0.1")
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    ::inet_pton(AF_INET, host, &address.sin_addr);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// A TCP connection to the service from the given loopback source address (any 127.x.y.z is this machine).
UniqueFd connectFrom(int port, const std::string &source = "127.0.0.1")
{
    UniqueFd fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
    const sockaddr_in from = loopback(0, source.c_str());
    const sockaddr_in to = loopback(port);
    if (fd.get() < 0 || ::bind(fd.get(), reinterpret_cast<const sockaddr *>(&from), sizeof from) != 0 ||
        ::connect(fd.get(), reinterpret_cast<const sockaddr *>(&to), sizeof to) != 0)
        return UniqueFd();
    return fd;
}

// Reads until the peer closes, for at most the deadline.
Reply readReply(int fd, std::chrono::milliseconds deadline)
{
    Reply reply;
    std::string data;
    const auto end = Clock::now() + deadline;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
        pollfd waiting{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t got = ::recv(fd, buffer, sizeof buffer, 0);
        if (got <= 0) {
            reply.closed = true;
            break;
        }
        data.append(buffer, static_cast<std::size_t>(got));
    }
    const auto split = data.find("\r\n\r\n");
    reply.head = data.substr(0, split);
    reply.body = split == std::string::npos ? std::string{} : data.substr(split + 4);
    if (reply.head.size() > 12)
        reply.status = std::atoi(reply.head.c_str() + 9);
    return reply;
}

Reply httpExchange(int port, const std::string &request, const std::string &source = "127.0.0.1",
                   std::chrono::milliseconds deadline = 10s)
{
    const UniqueFd fd = connectFrom(port, source);
    if (fd.get() < 0 || ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) < 0)
        return {};
    return readReply(fd.get(), deadline);
}

std::string getRequest(const std::string &pathAndQuery, const std::string &userAgent = "PELORIX",
                       const std::string &method = "GET", const std::string &extraHeaders = {})
{
    std::string request = method + " " + pathAndQuery + " HTTP/1.0\r\nHost: 127.0.0.1\r\n";
    if (!userAgent.empty())
        request += "User-Agent: " + userAgent + "\r\n";
    return request + extraHeaders + "\r\n";
}

std::string signedList(int number = 4711)
{
    return getRequest("/vekta4list.php?s=" + std::to_string(number), SignatureFor(number));
}

std::string listText(int servers)
{
    std::string text;
    for (int i = 0; i < servers; ++i)
        text += "1.2." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1) + ":10481\r\n";
    return text;
}

// Room for thousands of client sockets in this process.
void raiseDescriptorLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

int descriptorLimit()
{
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    return static_cast<int>(limit.rlim_cur);
}

// True once the peer has closed (end of stream or reset); false while the connection is open and quiet.
bool closedByPeer(int fd)
{
    pollfd waiting{fd, POLLIN, 0};
    if (::poll(&waiting, 1, 0) <= 0)
        return false;
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, MSG_DONTWAIT);
    return got == 0 || (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK);
}

class MasterHostileTest : public ::testing::Test
{
  protected:
    int command(std::vector<std::string> args, std::string *out = nullptr, std::string *err = nullptr,
                const std::string &stdinText = {})
    {
        args.push_back("--db");
        args.push_back(m_db);
        return test::runProcess(PELORIX_MASTER_BIN, args, out, err, {}, 60s, stdinText);
    }

    void importServers(int count)
    {
        std::ofstream(m_dir.file("list.txt"), std::ios::binary) << listText(count);
        ASSERT_EQ(command({"import", m_dir.file("list.txt")}), 0);
    }

    void start(std::vector<std::string> options = {})
    {
        m_port = test::freeTcpPort();
        std::vector<std::string> args{"serve", "--db", m_db, "--port", std::to_string(m_port)};
        args.insert(args.end(), options.begin(), options.end());
        m_service = std::make_unique<test::ChildProcess>(PELORIX_MASTER_BIN, args);
        ASSERT_TRUE(test::waitForTcpPort(m_port, 20s)) << m_service->stderrText();
    }

    Reply get(const std::string &request, const std::string &source = "127.0.0.1")
    {
        return httpExchange(m_port, request, source);
    }

    test::TempDir m_dir;
    std::string m_db = m_dir.file("master.db");
    int m_port = 0;
    std::unique_ptr<test::ChildProcess> m_service;
};

// Connections from many loopback addresses, n per address, each sent `opening` (nothing when empty).
std::vector<UniqueFd> openConnections(int port, int count, int thirdOctet, const std::string &opening)
{
    std::vector<UniqueFd> fds;
    for (int i = 0; i < count; ++i) {
        const std::string source = "127.0." + std::to_string(thirdOctet) + "." + std::to_string(i / 20 + 1);
        UniqueFd fd = connectFrom(port, source);
        if (fd.get() < 0)
            break;
        if (!opening.empty())
            ::send(fd.get(), opening.data(), opening.size(), MSG_NOSIGNAL);
        fds.push_back(std::move(fd));
    }
    return fds;
}

TEST_F(MasterHostileTest, IdleAndTricklingConnectionsLeaveNormalRequestsAnswered)
{
    raiseDescriptorLimit();
    if (descriptorLimit() < 4500)
        GTEST_SKIP() << "needs 4,500 descriptors, the limit is " << descriptorLimit();
    constexpr auto kRequestTime = 4s;
    importServers(500);
    start({"--request-timeout", "4", "--no-access-log"});
    const std::string list = listText(500) + "END OF LIST\r\n";

    // 2,000 that say nothing and 2,000 that send a request head one byte a second, 20 from each address.
    const auto firstOpened = Clock::now();
    std::vector<UniqueFd> idle = openConnections(m_port, 2000, 1, "");
    std::vector<UniqueFd> trickle = openConnections(m_port, 2000, 2, "G");
    const auto lastOpened = Clock::now();
    ASSERT_EQ(idle.size(), 2000u);
    ASSERT_EQ(trickle.size(), 2000u);

    // Just before the request time runs out, every hostile connection is still open...
    int closedBefore = -1;
    std::thread checker([&] {
        std::this_thread::sleep_until(firstOpened + kRequestTime - 1s);
        int closed = 0;
        for (const auto *group : {&idle, &trickle})
            for (const auto &fd : *group)
                closed += closedByPeer(fd.get()) ? 1 : 0;
        closedBefore = closed;
    });
    const std::string slowHead = "ET /vekta4list.php?s=0 HTTP/1.0\r\nX-Slow: ";
    int answered = 0;
    std::size_t sent = 0;
    std::chrono::milliseconds slowest{0};
    auto nextByte = Clock::now() + 1s;
    while (Clock::now() < lastOpened + kRequestTime + 2s) {
        const auto begin = Clock::now();
        const Reply reply = get(signedList());
        const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - begin);
        slowest = std::max(slowest, took);
        EXPECT_EQ(reply.status, 200);
        EXPECT_EQ(reply.body, list);
        ++answered;
        if (Clock::now() >= nextByte) {
            for (const auto &fd : trickle)
                ::send(fd.get(), slowHead.data() + sent % slowHead.size(), 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            ++sent;
            nextByte += 1s;
        }
    }
    checker.join();
    EXPECT_EQ(closedBefore, 0) << "closed before their request time ran out";
    EXPECT_GT(answered, 20);
    EXPECT_LT(slowest, 5s) << "a normal request waited behind the hostile connections";
    // ...and soon after it, none is: the time counts for the whole request, trickling or not.
    int open = 0;
    for (const auto *group : {&idle, &trickle})
        for (const auto &fd : *group)
            open += closedByPeer(fd.get()) ? 0 : 1;
    EXPECT_EQ(open, 0);
}

TEST_F(MasterHostileTest, ConnectionsBeyondTheShareOfOneAddressAreRefusedAtOnce)
{
    importServers(3);
    start({"--max-client-connections", "8", "--no-access-log"});
    std::vector<UniqueFd> mine = openConnections(m_port, 20, 3, ""); // 20 from 127.0.3.1
    ASSERT_EQ(mine.size(), 20u);
    // The service takes the connections in its own time (slowly on a loaded machine): wait until the twelve
    // beyond the share are closed, then a little longer to see that no more are.
    const auto countRefused = [&] {
        int refused = 0;
        for (const auto &fd : mine)
            refused += closedByPeer(fd.get()) ? 1 : 0;
        return refused;
    };
    const auto giveUp = Clock::now() + 10s;
    while (countRefused() < 12 && Clock::now() < giveUp)
        std::this_thread::sleep_for(20ms);
    std::this_thread::sleep_for(500ms);
    EXPECT_EQ(countRefused(), 12);
    // Another address is served as usual...
    EXPECT_EQ(get(signedList(), "127.0.3.2").status, 200);
    // ...and as many clients as its share, each opening its next connection as soon as a reply is read, are
    // never refused: a connection's share is free again when its request is done.
    std::atomic<int> refusedAtLimit{0};
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&] {
            for (int i = 0; i < 50; ++i)
                refusedAtLimit += get(signedList(), "127.0.3.3").status == 200 ? 0 : 1;
        });
    }
    for (auto &client : clients)
        client.join();
    EXPECT_EQ(refusedAtLimit, 0);
}

// Sends `prefix` and then filler without any line break until the service answers or stops taking it; how
// much it took. The reply is read as soon as it comes, before a reset could throw it away.
std::size_t sendWithoutLineBreak(int port, const std::string &prefix, std::size_t total, Reply &reply)
{
    UniqueFd fd = connectFrom(port);
    if (fd.get() < 0)
        return 0;
    std::size_t sent = 0;
    const std::string chunk(1 << 16, 'a');
    const auto giveUp = Clock::now() + 60s;
    bool stopped = ::send(fd.get(), prefix.data(), prefix.size(), MSG_NOSIGNAL) < 0;
    while (!stopped && sent < total && Clock::now() < giveUp) {
        pollfd waiting{fd.get(), POLLIN | POLLOUT, 0};
        if (::poll(&waiting, 1, 1000) <= 0)
            continue;
        if ((waiting.revents & (POLLIN | POLLERR | POLLHUP)) != 0)
            break;
        const ssize_t put = ::send(fd.get(), chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            stopped = true;
        else if (put > 0)
            sent += static_cast<std::size_t>(put);
    }
    reply = readReply(fd.get(), 5s);
    return sent;
}

TEST_F(MasterHostileTest, EndlessRequestLineOrHeaderIsCutOffAfterAFewKilobytes)
{
    importServers(3);
    start({"--no-access-log"});
    constexpr std::size_t k200MB = 200u << 20;
    struct Case {
        const char *what;
        std::string prefix;
        int status;
    };
    const Case cases[] = {
        {"request line", "GET /", 414},
        {"header", "GET /vekta4list.php?s=0 HTTP/1.0\r\nX-Endless: ", 431},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        Reply reply;
        const std::size_t taken = sendWithoutLineBreak(m_port, c.prefix, k200MB, reply);
        // What the kernel's socket buffers hold, no more: the service itself kept a few kilobytes.
        EXPECT_LT(taken, 32u << 20);
        EXPECT_EQ(reply.status, c.status);
        EXPECT_TRUE(m_service->running());
        EXPECT_EQ(get(signedList()).status, 200);
    }
}

TEST_F(MasterHostileTest, ThousandsOfRangesGetTheWholeListOnce)
{
    importServers(300);
    start({"--no-access-log"});
    const std::string list = listText(300) + "END OF LIST\r\n";
    std::string ranges = "Range: bytes=";
    for (int i = 0; i < 2000; ++i) {
        const char digit = static_cast<char>('0' + i % 10);
        if (i > 0)
            ranges += ',';
        ranges += {digit, '-', digit};
    }
    const Reply reply = get(getRequest("/vekta4list.php?s=7", SignatureFor(7), "GET", ranges + "\r\n"));
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("Content-Length"), std::to_string(list.size()));
    EXPECT_EQ(reply.body, list);
}

TEST_F(MasterHostileTest, OnlyAGetAddsOrDeletes)
{
    importServers(2);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "secret\n"), 0);
    start({"--no-check"});
    const std::string add = "/vekta4/vekta4add.php?server=9.8.7.6:10481";
    const std::string remove = "/vekta4/vekta4delete.php?pwd=secret&server=1.2.0.1:10481&s=5";
    for (const std::string method : {"HEAD", "POST", "PUT", "DELETE", "OPTIONS"}) {
        for (const auto &path : {add, remove}) {
            SCOPED_TRACE(method + " " + path);
            const Reply reply = get(getRequest(path, path == add ? "PLX" : SignatureFor(5), method));
            EXPECT_EQ(reply.status, 405);
            EXPECT_EQ(reply.header("Allow"), "GET");
        }
    }
    std::string out;
    ASSERT_EQ(command({"list"}, &out), 0);
    EXPECT_EQ(out, "1.2.0.1:10481\n1.2.0.2:10481\n");
    // The same requests as GET do their work.
    EXPECT_EQ(get(getRequest(add, "PLX")).body, "0;added");
    EXPECT_EQ(get(getRequest(remove, SignatureFor(5))).body, "");
    ASSERT_EQ(command({"list"}, &out), 0);
    EXPECT_EQ(out, "1.2.0.2:10481\n9.8.7.6:10481\n");
}

// --- Special-purpose addresses, inside a network namespace of the test's own ---------------------------

// A network namespace with only its own loopback: whatever runs in it cannot reach past this machine.
// Removed again on every path out of the test.
class PrivateNetwork
{
  public:
    PrivateNetwork()
    {
        m_name = "pelorix-master-" + std::to_string(::getpid()) + "-" +
                 std::to_string(Clock::now().time_since_epoch().count() % 100000);
        if (test::runProcess("/usr/sbin/ip", {"netns", "add", m_name}) != 0)
            return;
        m_created = true;
        m_ready = test::runProcess("/usr/sbin/ip", {"-n", m_name, "link", "set", "lo", "up"}) == 0;
    }
    ~PrivateNetwork()
    {
        if (m_created)
            test::runProcess("/usr/sbin/ip", {"netns", "del", m_name});
    }
    PrivateNetwork(const PrivateNetwork &) = delete;
    PrivateNetwork &operator=(const PrivateNetwork &) = delete;

    bool ready() const { return m_ready; }
    const std::string &name() const { return m_name; }

    // Runs fn on a thread that has entered the namespace; this thread stays where it is.
    void run(const std::function<void()> &fn) const
    {
        std::thread inside([&] {
            const UniqueFd ns(::open(("/run/netns/" + m_name).c_str(), O_RDONLY | O_CLOEXEC));
            if (ns.get() < 0 || ::setns(ns.get(), CLONE_NEWNET) != 0) {
                ADD_FAILURE() << "cannot enter the network namespace " << m_name;
                return;
            }
            fn();
        });
        inside.join();
    }

  private:
    std::string m_name;
    bool m_created = false;
    bool m_ready = false;
};

std::string dotted(std::uint32_t ip)
{
    return std::to_string(ip >> 24) + "." + std::to_string(ip >> 16 & 0xFF) + "." + std::to_string(ip >> 8 & 0xFF) +
           "." + std::to_string(ip & 0xFF);
}

TEST_F(MasterHostileTest, SpecialPurposeAddressesAreNeverProbedNorListed)
{
    if (::geteuid() != 0 || ::access("/usr/sbin/ip", X_OK) != 0)
        GTEST_SKIP() << "needs root and ip(8) to make a private network namespace for the probes";
    PrivateNetwork network;
    ASSERT_TRUE(network.ready()) << "cannot make a network namespace";

    struct Block {
        const char *name;
        std::uint32_t first;
        int prefixLength;
        bool privateUse; // allowed with --allow-private
    };
    const auto ip = [](std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d) {
        return a << 24 | b << 16 | c << 8 | d;
    };
    const Block blocks[] = {
        {"this network", ip(0, 0, 0, 0), 8, false},       {"private", ip(10, 0, 0, 0), 8, true},
        {"shared", ip(100, 64, 0, 0), 10, false},         {"loopback", ip(127, 0, 0, 0), 8, false},
        {"link-local", ip(169, 254, 0, 0), 16, false},    {"private", ip(172, 16, 0, 0), 12, true},
        {"protocol", ip(192, 0, 0, 0), 24, false},        {"documentation", ip(192, 0, 2, 0), 24, false},
        {"6to4 relay", ip(192, 88, 99, 0), 24, false},    {"private", ip(192, 168, 0, 0), 16, true},
        {"benchmarking", ip(198, 18, 0, 0), 15, false},   {"documentation", ip(198, 51, 100, 0), 24, false},
        {"documentation", ip(203, 0, 113, 0), 24, false}, {"multicast", ip(224, 0, 0, 0), 4, false},
        {"reserved", ip(240, 0, 0, 0), 4, false},
    };
    const std::string refusal = "1;local or reserved address";

    // The service runs in the namespace with its probes on; a refusal that failed would send a probe there,
    // where no route leads anywhere.
    const int port = test::freeTcpPort();
    test::ChildProcess service("/usr/sbin/ip",
                               {"netns", "exec", network.name(), PELORIX_MASTER_BIN, "serve", "--db", m_db, "--port",
                                std::to_string(port), "--status-timeout", "300", "--no-access-log"});
    network.run([&] {
        bool up = false;
        for (int i = 0; i < 200 && !up; ++i) {
            up = connectFrom(port).get() >= 0;
            if (!up)
                std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(up) << service.stderrText();
        const auto add = [port](std::uint32_t address) {
            return httpExchange(port, getRequest("/vekta4/vekta4add.php?server=" + dotted(address) + ":10481", "PLX"))
                .body;
        };
        for (const auto &block : blocks) {
            const std::uint32_t last = block.first | (~std::uint32_t{0} >> block.prefixLength);
            for (const std::uint32_t address : {block.first, block.first + 1, last}) {
                SCOPED_TRACE(std::string(block.name) + " " + dotted(address));
                const auto begin = Clock::now();
                EXPECT_EQ(add(address), refusal);
                EXPECT_LT(Clock::now() - begin, 300ms) << "refused only after a probe";
            }
        }
        // Just outside a block is an ordinary address: it is probed (and gets no answer here).
        for (const std::uint32_t outside : {ip(100, 63, 255, 255), ip(100, 128, 0, 0), ip(172, 32, 0, 0)}) {
            SCOPED_TRACE(dotted(outside));
            EXPECT_EQ(add(outside), "1;the server did not answer a status query");
        }
    });
    service.kill(SIGTERM);
    service.wait();
    std::string out;
    ASSERT_EQ(command({"list"}, &out), 0);
    EXPECT_EQ(out, "");

    // A LAN list takes the private blocks, and only those.
    const int lanPort = test::freeTcpPort();
    test::ChildProcess lan("/usr/sbin/ip",
                           {"netns", "exec", network.name(), PELORIX_MASTER_BIN, "serve", "--db", m_db, "--port",
                            std::to_string(lanPort), "--allow-private", "--no-check", "--no-access-log"});
    network.run([&] {
        bool up = false;
        for (int i = 0; i < 200 && !up; ++i) {
            up = connectFrom(lanPort).get() >= 0;
            if (!up)
                std::this_thread::sleep_for(50ms);
        }
        ASSERT_TRUE(up) << lan.stderrText();
        for (const auto &block : blocks) {
            SCOPED_TRACE(std::string(block.name) + " " + dotted(block.first + 1));
            const std::string body =
                httpExchange(lanPort,
                             getRequest("/vekta4/vekta4add.php?server=" + dotted(block.first + 1) + ":10481", "PLX"))
                    .body;
            EXPECT_EQ(body, block.privateUse ? "0;added" : refusal);
        }
    });
    lan.kill(SIGTERM);
    lan.wait();
    ASSERT_EQ(command({"list"}, &out), 0);
    EXPECT_EQ(out, "10.0.0.1:10481\n172.16.0.1:10481\n192.168.0.1:10481\n");
}

// --- Probe shares --------------------------------------------------------------------------------------

TEST_F(MasterHostileTest, ProbesAreSharedOutPerClientAndPerDestination)
{
    // A socket that takes the queries and never answers: every probe to it runs its full time.
    const test::UdpPeer silent;
    const std::string target = silent.address();
    start({"--allow-loopback", "--status-timeout", "3000", "--no-access-log"});

    const auto addFrom = [this, &target](const std::string &source) {
        return get(getRequest("/vekta4/vekta4add.php?server=" + target, "PLX"), source).body;
    };
    // One client (127.0.4.0/24, whatever the last number) holds two probes at once, no more.
    std::vector<std::string> replies(3);
    std::vector<std::thread> clients;
    for (int i = 0; i < 2; ++i)
        clients.emplace_back([&, i] { replies[i] = addFrom("127.0.4." + std::to_string(i + 1)); });
    bool bothRunning = false;
    for (int i = 0; i < 200 && !bothRunning; ++i) {
        bothRunning = get(getRequest("/healthz")).body.find("probes: 2\r\n") != std::string::npos;
        if (!bothRunning)
            std::this_thread::sleep_for(5ms);
    }
    ASSERT_TRUE(bothRunning);
    EXPECT_EQ(addFrom("127.0.4.9"), "1;too many adds, try again later");
    // Another client gets its own share at the same time.
    clients.emplace_back([&] { replies[2] = addFrom("127.0.5.1"); });
    for (auto &client : clients)
        client.join();
    for (const auto &reply : replies)
        EXPECT_EQ(reply, "1;the server did not answer a status query");
    // Five probes a minute to one destination: the next one is refused, from any client.
    EXPECT_EQ(addFrom("127.0.6.1"), "1;the server did not answer a status query");
    EXPECT_EQ(addFrom("127.0.7.1"), "1;the server did not answer a status query");
    EXPECT_EQ(addFrom("127.0.8.1"), "1;too many adds, try again later");
}

// --- Secrets --------------------------------------------------------------------------------------------

TEST_F(MasterHostileTest, PasswordStaysOutOfTheLogHoweverItsNameIsWritten)
{
    importServers(2);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "Xyzzy-Plugh-42\n"), 0);
    start();
    const std::string names[] = {"pwd", "%70wd", "p%77d", "pw%64", "%70%77%64",
                                 "PWD", "Pwd",   "%50Wd", "p%57D", "%70%57%64"};
    const std::string server = "&server=1.2.0.1:10481&s=3";
    int sent = 0;
    for (const auto &name : names) {
        // Wrong passwords that share most of the right one, and the right one, also percent-encoded.
        for (const std::string value : {"Xyzzy-Plugh-41", "Xyzzy-Plugh-42", "%58yzzy-Plugh-42"}) {
            get(getRequest("/vekta4/vekta4delete.php?" + name + "=" + value + server, SignatureFor(3)));
            ++sent;
        }
    }
    // Through a proxy (absolute address), after another parameter, and with a fragment.
    for (const std::string &target : std::vector<std::string>{
             "http://127.0.0.1:" + std::to_string(m_port) + "/vekta4/vekta4delete.php?pwd=Xyzzy-Plugh-42" + server,
             "/vekta4/vekta4delete.php?s=3&p%77d=Xyzzy-Plugh-42&server=1.2.0.1:10481",
             "/vekta4/vekta4delete.php?pwd=Xyzzy-Plugh-42#frag" + server}) {
        get(getRequest(target, SignatureFor(3)));
        ++sent;
    }
    m_service->kill(SIGTERM);
    EXPECT_EQ(m_service->wait(10s), 0);
    const std::string log = m_service->stderrText();
    EXPECT_EQ(log.find("Xyzzy"), std::string::npos) << log;
    EXPECT_EQ(log.find("%58yzzy"), std::string::npos) << log;
    // Every request has its line, its password blanked.
    std::istringstream lines(log);
    std::string line;
    int logged = 0;
    while (std::getline(lines, line)) {
        if (line.find("vekta4delete.php") == std::string::npos)
            continue;
        ++logged;
        EXPECT_NE(line.find("=***"), std::string::npos) << line;
        EXPECT_EQ(line.find("User-Agent"), std::string::npos) << line;
    }
    EXPECT_EQ(logged, sent);
}

TEST_F(MasterHostileTest, PasswordChecksAreCappedForAllClientsWhileListsFlow)
{
    importServers(100);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "right\n"), 0);
    start({"--password-checks", "2", "--no-access-log"});
    // 40 guesses at once, each from its own /24: no prefix reaches its own limit, the global cap still holds.
    constexpr int kGuesses = 40;
    std::vector<UniqueFd> guesses;
    std::vector<Clock::time_point> sentAt;
    for (int i = 0; i < kGuesses; ++i) {
        guesses.push_back(connectFrom(m_port, "127.1." + std::to_string(i) + ".1"));
        ASSERT_GE(guesses.back().get(), 0);
    }
    for (int i = 0; i < kGuesses; ++i) {
        const std::string request = getRequest(
            "/vekta4/vekta4delete.php?pwd=guess" + std::to_string(i) + "&server=1.2.0.1:10481&s=11", SignatureFor(11));
        ::send(guesses[i].get(), request.data(), request.size(), MSG_NOSIGNAL);
        sentAt.push_back(Clock::now());
    }
    const double span = std::chrono::duration<double>(sentAt.back() - sentAt.front()).count();
    // Lists are answered while the guesses are being checked.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(get(signedList()).status, 200);
    int checked = 0;
    int capped = 0;
    for (const auto &fd : guesses) {
        const Reply reply = readReply(fd.get(), 60s);
        checked += reply.body == "1;wrong password" ? 1 : 0;
        capped += reply.status == 429 && reply.body == "1;too many attempts, try again later" ? 1 : 0;
    }
    EXPECT_EQ(checked + capped, kGuesses);
    EXPECT_GE(checked, 1);
    // Two saved up, and two more for each second the guesses took to arrive, with a second to spare for
    // reading them on a busy machine: far below the 40 that an uncapped service checks.
    EXPECT_LE(checked, 2 + static_cast<int>((span + 1.0) * 2)) << span << " s";
}

TEST_F(MasterHostileTest, RefusalLimitHoldsForAWholePrefix)
{
    importServers(2);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "right\n"), 0);
    start({"--no-access-log"});
    const auto remove = [this](const std::string &password, const std::string &source) {
        return get(
            getRequest("/vekta4/vekta4delete.php?pwd=" + password + "&server=1.2.0.1:10481&s=21", SignatureFor(21)),
            source);
    };
    // Five refusals, each from another address of one /24...
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(remove("guess", "127.0.13." + std::to_string(i)).body, "1;wrong password");
    // ...block the whole /24, even with the right password and a fresh address...
    const Reply blocked = remove("right", "127.0.13.77");
    EXPECT_EQ(blocked.status, 429);
    EXPECT_EQ(blocked.body, "1;too many refused attempts, try again later");
    // ...and nobody else.
    EXPECT_EQ(remove("right", "127.0.14.1").body, "");
}

// --- The database ----------------------------------------------------------------------------------------

// Overwrites the second leaf page of the table whose root is page 2 (the server table, made first), so a
// full scan reads the first leaf and then fails.
bool corruptSecondLeaf(const std::string &path)
{
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[100];
    if (!file.read(reinterpret_cast<char *>(header), sizeof header))
        return false;
    std::size_t pageSize = static_cast<std::size_t>(header[16] << 8 | header[17]);
    if (pageSize == 1)
        pageSize = 65536;
    std::vector<unsigned char> root(pageSize);
    file.seekg(static_cast<std::streamoff>(pageSize));
    if (!file.read(reinterpret_cast<char *>(root.data()), static_cast<std::streamsize>(pageSize)))
        return false;
    if (root[0] != 0x05) // an interior table page: the table spans more than one leaf
        return false;
    const int cells = root[3] << 8 | root[4];
    if (cells < 2)
        return false;
    // Cell pointers follow the 12-byte interior header; each cell starts with its child's page number.
    const int cell = root[12 + 2] << 8 | root[12 + 3];
    const std::uint32_t child =
        static_cast<std::uint32_t>(root[cell] << 24 | root[cell + 1] << 16 | root[cell + 2] << 8 | root[cell + 3]);
    const std::vector<char> garbage(pageSize, '\x5a');
    file.seekp(static_cast<std::streamoff>((child - 1) * pageSize));
    file.write(garbage.data(), static_cast<std::streamsize>(pageSize));
    return static_cast<bool>(file.flush());
}

TEST_F(MasterHostileTest, CorruptedDatabaseIsAnErrorNeverAShorterList)
{
    importServers(3000);
    ASSERT_TRUE(corruptSecondLeaf(m_db));
    std::string out;
    std::string err;
    EXPECT_NE(command({"list"}, &out, &err), 0);
    EXPECT_NE(err.find("malformed"), std::string::npos) << err;

    start();
    const Reply list = get(signedList());
    EXPECT_EQ(list.status, 503);
    EXPECT_EQ(list.body, "db error"); // under 10 characters: the browser keeps its offline copy
    const Reply health = get(getRequest("/healthz"));
    EXPECT_EQ(health.status, 503);
    EXPECT_NE(health.body.find("malformed"), std::string::npos) << health.body;
}

TEST_F(MasterHostileTest, LockedDatabaseIsAnErrorNeverARefusal)
{
    importServers(2);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "right\n"), 0);
    start({"--no-check"});
    // The write lock of the database's shared-memory index: every writer waits, then gives up.
    const UniqueFd shm(::open((m_db + "-shm").c_str(), O_RDWR | O_CLOEXEC));
    ASSERT_GE(shm.get(), 0);
    struct flock lock {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 120;
    lock.l_len = 1;
    ASSERT_EQ(::fcntl(shm.get(), F_SETLK, &lock), 0);

    const Reply removed =
        get(getRequest("/vekta4/vekta4delete.php?pwd=right&server=1.2.0.1:10481&s=8", SignatureFor(8)));
    EXPECT_EQ(removed.status, 503);
    EXPECT_EQ(removed.body, "1;database error, try again later");
    const Reply added = get(getRequest("/vekta4/vekta4add.php?server=9.9.9.9:10481", "PLX"));
    EXPECT_EQ(added.status, 503);
    EXPECT_EQ(get(getRequest("/healthz")).status, 503);
    std::string err;
    EXPECT_EQ(command({"remove", "1.2.0.1:10481"}, nullptr, &err), 1);
    EXPECT_NE(err.find("locked"), std::string::npos) << err;

    lock.l_type = F_UNLCK;
    ASSERT_EQ(::fcntl(shm.get(), F_SETLK, &lock), 0);
    EXPECT_EQ(get(getRequest("/vekta4/vekta4delete.php?pwd=right&server=1.2.0.1:10481&s=8", SignatureFor(8))).body, "");
    EXPECT_EQ(get(getRequest("/healthz")).status, 200);
}

// --- Stopping --------------------------------------------------------------------------------------------

TEST_F(MasterHostileTest, SigtermEndsTheServiceWithinFiveSecondsUnderLoad)
{
    raiseDescriptorLimit();
    importServers(1000);
    ASSERT_EQ(command({"set-password"}, nullptr, nullptr, "right\n"), 0);
    const test::UdpPeer silent;
    const std::string target = silent.address();
    start({"--allow-loopback", "--status-timeout", "60000", "--request-timeout", "120", "--idle-timeout", "120",
           "--no-access-log"});

    // Idle and half-sent requests, adds waiting for a probe that will not end for a minute, password checks
    // and list requests without pause.
    std::vector<UniqueFd> idle = openConnections(m_port, 1000, 9, "");
    std::vector<UniqueFd> partial = openConnections(m_port, 500, 10, "GET /vekta4list.php?s=0 HTTP/1.0\r\n");
    std::vector<UniqueFd> waiting;
    for (int i = 0; i < 4; ++i) {
        UniqueFd fd = connectFrom(m_port, "127.0." + std::to_string(20 + i) + ".1");
        const std::string request = getRequest("/vekta4/vekta4add.php?server=" + target, "PLX");
        ::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL);
        waiting.push_back(std::move(fd));
    }
    std::atomic<bool> stop{false};
    std::vector<std::thread> load;
    for (int t = 0; t < 4; ++t) {
        load.emplace_back([&, t] {
            while (!stop) {
                if (t == 0)
                    get(getRequest("/vekta4/vekta4delete.php?pwd=guess&server=1.2.0.1:10481&s=2", SignatureFor(2)),
                        "127.0.12." + std::to_string(t + 1));
                else
                    get(signedList());
            }
        });
    }
    // The half-sent requests keep trickling, a byte a second, until the service is gone.
    load.emplace_back([&] {
        while (!stop) {
            for (const auto &fd : partial)
                ::send(fd.get(), "X", 1, MSG_NOSIGNAL | MSG_DONTWAIT);
            for (int i = 0; i < 10 && !stop; ++i)
                std::this_thread::sleep_for(100ms);
        }
    });
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(m_service->running());
    const auto signalled = Clock::now();
    m_service->kill(SIGTERM);
    const int status = m_service->wait(10s);
    const auto took = Clock::now() - signalled;
    stop = true;
    for (auto &thread : load)
        thread.join();
    EXPECT_EQ(status, 0);
    EXPECT_LT(took, 5s);
    // The adds that waited got an answer rather than a silent close.
    for (const auto &fd : waiting) {
        const Reply reply = readReply(fd.get(), 2s);
        EXPECT_TRUE(reply.closed);
        EXPECT_EQ(reply.status, 503);
    }
}

} // namespace
