// pelorix-master as the browser and other HTTP clients meet it: raw requests over loopback, read until the
// service closes the connection.
#include "discovery/RequestSignature.h"
#include "platform/UniqueFd.h"
#include "support/TestProcess.h"
#include "support/UdpPeer.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <thread>

using namespace pelorix;
using namespace std::chrono_literals;

namespace
{

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

using Fd = UniqueFd;

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    return address;
}

// Sends the bytes as they are and reads until the peer closes, for at most the deadline.
Reply httpExchange(int port, const std::string &request, std::chrono::milliseconds deadline = 10s)
{
    Reply reply;
    Fd fd(::socket(AF_INET, SOCK_STREAM, 0));
    const sockaddr_in address = loopback(port);
    if (::connect(fd.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address) != 0)
        return reply;
    if (::send(fd.get(), request.data(), request.size(), MSG_NOSIGNAL) < 0)
        return reply;
    std::string data;
    const auto end = std::chrono::steady_clock::now() + deadline;
    char buffer[65536];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
        pollfd waiting{fd.get(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&waiting, 1, static_cast<int>(left.count())) <= 0)
            break;
        const ssize_t got = ::recv(fd.get(), buffer, sizeof buffer, 0);
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

// The request exactly as the browser writes it, directly or through a proxy (absolute address).
std::string browserRequest(int port, const std::string &pathAndQuery, const std::string &userAgent,
                           bool throughProxy = false)
{
    const std::string host = "127.0.0.1:" + std::to_string(port);
    std::string request = "GET " + (throughProxy ? "http://" + host : std::string{}) + pathAndQuery + " HTTP/1.0\r\n";
    request += "Host: " + host + "\r\nKeep-Alive: 300\r\n";
    request += throughProxy ? "Proxy-Connection: keep-alive\r\n" : "Connection: keep-alive\r\n";
    if (!userAgent.empty())
        request += "User-Agent: " + userAgent + "\r\n";
    return request + "\r\n";
}

// A game server that answers "\status\" with a complete reply, in two datagrams like a large reply.
test::UdpServers::Script answerStatus()
{
    return [](size_t, const std::string &request) {
        std::vector<test::UdpServers::Send> sends;
        if (request == "\\status\\")
            sends = {{0, "\\statusresponse\\0\\hostname\\Test"}, {0, "\\numplayers\\0\\final\\\\eof\\"}};
        return sends;
    };
}

std::string signedQuery(int number)
{
    return "s=" + std::to_string(number);
}

class MasterTest : public ::testing::Test
{
  protected:
    // Runs an administration command on this test's database; its exit status.
    int command(std::vector<std::string> args, std::string *out = nullptr, const std::string &stdinText = {})
    {
        args.push_back("--db");
        args.push_back(m_db);
        return test::runProcess(PELORIX_MASTER_BIN, args, out, nullptr, {}, 60s, stdinText);
    }
    void admin(const std::vector<std::string> &args, std::string *out = nullptr, const std::string &stdinText = {})
    {
        EXPECT_EQ(command(args, out, stdinText), 0) << args[0];
    }

    void start(std::vector<std::string> options = {})
    {
        m_port = test::freeTcpPort();
        std::vector<std::string> args{"serve", "--db", m_db, "--port", std::to_string(m_port)};
        args.insert(args.end(), options.begin(), options.end());
        m_service = std::make_unique<test::ChildProcess>(PELORIX_MASTER_BIN, args);
        ASSERT_TRUE(test::waitForTcpPort(m_port, 20s)) << m_service->stderrText();
    }

    Reply get(const std::string &pathAndQuery, const std::string &userAgent = "PELORIX")
    {
        return httpExchange(m_port, browserRequest(m_port, pathAndQuery, userAgent));
    }

    Reply signedGet(const std::string &path, int number = 4711)
    {
        return get(path + "?" + signedQuery(number), SignatureFor(number));
    }

    std::string listed()
    {
        std::string out;
        admin({"list"}, &out);
        return out;
    }

    test::TempDir m_dir;
    std::string m_db = m_dir.file("master.db");
    int m_port = 0;
    std::unique_ptr<test::ChildProcess> m_service;
};

constexpr const char *kTwoServers = "1.2.3.4:10481\r\n5.6.7.8:10481\r\nEND OF LIST\r\n";

TEST_F(MasterTest, ListAnswersTheBrowsersRequestsByteForByteAndCloses)
{
    admin({"add", "1.2.3.4:10481"});
    admin({"add", "5.6.7.8:10481"});
    start();
    const int number = 12345678;
    for (const bool proxy : {false, true}) {
        for (const std::string path : {"/vekta4list.php", "/vekta4/vekta4list.php"}) {
            SCOPED_TRACE(path + (proxy ? " through a proxy" : " direct"));
            const Reply reply =
                httpExchange(m_port, browserRequest(m_port, path + "?s=12345678", SignatureFor(number), proxy));
            EXPECT_TRUE(reply.closed);
            EXPECT_EQ(reply.status, 200);
            EXPECT_EQ(reply.body, kTwoServers);
            EXPECT_EQ(reply.header("Content-Length"), std::to_string(reply.body.size()));
        }
    }
    // ApacheBench and other HTTP/1.0 clients that ask for keep-alive in its usual spelling are not kept waiting.
    const std::string abStyle =
        "GET /vekta4list.php?s=0 HTTP/1.0\r\nConnection: Keep-Alive\r\nUser-Agent: " + SignatureFor(0) + "\r\n\r\n";
    const Reply keepAlive = httpExchange(m_port, abStyle, 4s);
    EXPECT_TRUE(keepAlive.closed);
    EXPECT_EQ(keepAlive.body, kTwoServers);
}

TEST_F(MasterTest, ListWithoutAValidSignatureIsRefusedWithAShortWord)
{
    admin({"add", "1.2.3.4:10481"});
    start();
    struct Case {
        const char *what;
        std::string query;
        std::string userAgent;
    };
    const Case cases[] = {
        {"signature of another number", "?s=5", SignatureFor(6)},
        {"no user agent", "?s=5", ""},
        {"upper-case digest", "?s=10", Md5Hex("10V", true)},
        {"no number", "", SignatureFor(0)},
        {"leading zero", "?s=05", SignatureFor(5)},
        {"number out of range", "?s=99999999", SignatureFor(99999999)},
        {"negative number", "?s=-5", Md5Hex("-5V")},
        {"the program's name", "?s=5", "PELORIX"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = get("/vekta4list.php" + c.query, c.userAgent);
        EXPECT_TRUE(reply.closed);
        // Under 10 characters: the browser falls back to its offline copy instead of reading a list.
        EXPECT_EQ(reply.body, "denied");
    }
    EXPECT_EQ(signedGet("/vekta4list.php", 0).body, "1.2.3.4:10481\r\nEND OF LIST\r\n");
}

TEST_F(MasterTest, EmptyListIsStillLongEnoughToBeTakenForAList)
{
    start();
    const Reply reply = signedGet("/vekta4list.php");
    EXPECT_EQ(reply.body, "END OF LIST\r\n");
    EXPECT_GE(reply.body.size() - 2, 10u);
}

TEST_F(MasterTest, VersionReplyNamesTheMessageOfTheDayWhichIsServed)
{
    start();
    Reply reply = get("/info/ver.php?id=2&all=yes");
    const std::string motdAddress = "http://127.0.0.1:" + std::to_string(m_port) + "/info/motd.txt";
    EXPECT_EQ(reply.body, "v1.79\r\n\r\n" + motdAddress + "\r\n");

    admin({"set-version", "v1.80"});
    admin({"set-motd", "Server maintenance tonight.\r\nHave fun!"});
    std::this_thread::sleep_for(1200ms); // changes from another process are picked up within a second
    reply = get("/info/ver.php?id=2&all=yes");
    const auto firstBreak = reply.body.find("\r\n");
    const auto secondBreak = reply.body.find("\r\n", firstBreak + 2);
    EXPECT_EQ(reply.body.substr(0, firstBreak), "v1.80");
    EXPECT_EQ(reply.body.substr(secondBreak + 2), motdAddress + "\r\n");
    EXPECT_EQ(get("/info/motd.txt").body, "Server maintenance tonight.\r\nHave fun!");

    // Through a proxy the address still names the host the browser asked for.
    reply = httpExchange(m_port, browserRequest(m_port, "/info/ver.php?id=2&all=yes", "PELORIX", true));
    EXPECT_NE(reply.body.find(motdAddress), std::string::npos);
}

TEST_F(MasterTest, InstallerIsServedWhenConfiguredAndOtherwiseNotFound)
{
    start();
    EXPECT_EQ(get("/download/vekta4/PELORIX_install.exe", "").status, 404);
    EXPECT_NE(get("/download/vekta4/PELORIX_install.exe", "").body.find("404 Not Found"), std::string::npos);
    m_service.reset();

    static constexpr char raw[] = "MZ\0\x90\xff installer\r\n\0";
    const std::string installer(raw, sizeof raw - 1);
    std::ofstream(m_dir.file("setup.exe"), std::ios::binary) << installer;
    start({"--installer", m_dir.file("setup.exe")});
    const Reply reply = get("/download/vekta4/PELORIX_install.exe", "");
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.body, installer);
}

TEST_F(MasterTest, AnythingElseIsNotFoundAndBadRequestsDoNotHurt)
{
    admin({"add", "1.2.3.4:10481"});
    start({"--request-timeout", "2"});
    const std::string junk[] = {
        browserRequest(m_port, "/", "PELORIX"),
        browserRequest(m_port, "/vekta4list.php.bak?s=1", "PELORIX"),
        browserRequest(m_port, "/info/ver.php/../../etc/passwd", "PELORIX"),
        "POST /elsewhere.php HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc",
    };
    for (const auto &request : junk) {
        const Reply reply = httpExchange(m_port, request);
        EXPECT_EQ(reply.status, 404) << request;
        EXPECT_NE(reply.body.find("404 Not Found"), std::string::npos) << request;
    }
    // Known paths with another method: refused by name, with what is allowed.
    struct Refused {
        std::string request;
        std::string allow;
    };
    const Refused refused[] = {
        {"POST /vekta4/vekta4add.php?server=1.2.3.4:10481 HTTP/1.0\r\nContent-Length: 3\r\n\r\nabc", "GET"},
        {"PUT /vekta4list.php?s=0 HTTP/1.0\r\n\r\n", "GET, HEAD"},
    };
    for (const auto &c : refused) {
        const Reply reply = httpExchange(m_port, c.request);
        EXPECT_EQ(reply.status, 405) << c.request;
        EXPECT_EQ(reply.header("Allow"), c.allow) << c.request;
    }
    // Each broken request is closed promptly: with an error reply where the request line could be read,
    // without one where not even that (0), and at the latest when the request time runs out.
    struct Broken {
        std::string request;
        int status;
    };
    const Broken broken[] = {
        {"GARBAGE\r\n\r\n", 0},
        {"GET /vekta4list.php?s=1 HTTP/9.9\r\n\r\n", 505},
        {"GET /" + std::string(20000, 'a') + " HTTP/1.0\r\n\r\n", 414},
        {"GET /" + std::string(3000, 'a') + " HTTP/1.0\r\n\r\n", 414},
        {"GET / HTTP/1.0\r\n" + std::string(10000, 'x') + "\r\n\r\n", 400},
        {"GET /vekta4list.php?s=0 HTTP/1.0\r\nContent-Length: 5\r\n\r\nabcde", 413},
        {std::string("\0\x01\x02\xff\r\n\r\n", 8), 0},
    };
    for (const auto &c : broken) {
        const Reply reply = httpExchange(m_port, c.request);
        EXPECT_TRUE(reply.closed) << c.request.substr(0, 40);
        EXPECT_EQ(reply.status, c.status) << c.request.substr(0, 40);
    }
    std::string manyHeaders = "GET /vekta4list.php?s=0 HTTP/1.0\r\n";
    for (int i = 0; i < 200; ++i)
        manyHeaders += "X-Filler-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(httpExchange(m_port, manyHeaders + "\r\n").status, 431);
    // A client that connects and says nothing is dropped when its request time runs out.
    EXPECT_TRUE(httpExchange(m_port, "", 15s).closed);
    EXPECT_EQ(signedGet("/vekta4list.php").body, "1.2.3.4:10481\r\nEND OF LIST\r\n");
}

TEST_F(MasterTest, AddValidatesAndRefusesDuplicatesAndLocalAddresses)
{
    start({"--no-check"});
    struct Case {
        std::string server;
        bool added;
    };
    const Case cases[] = {
        {"2.3.4.5:10481", true},
        {"2.3.4.5:10481", false}, // already listed
        {"6.7.8.9:1", true},
        {"6.7.8.9:65535", true},
        {"203.0.113.7:10481", false}, // documentation
        {"10.1.1.1:10481", false},    // private: only with --allow-private
        {"127.0.0.1:10481", false},
        {"127.9.9.9:10481", false},
        {"0.0.0.0:10481", false},
        {"224.0.0.1:10481", false},
        {"255.255.255.255:10481", false},
        {"6.7.8.9:0", false},
        {"6.7.8.9:65536", false},
        {"6.7.8.9:-1", false},
        {"6.7.8.9:", false},
        {"6.7.8.9", false},
        {"1.2.3:10481", false},
        {"1.2.3.4.5:10481", false},
        {"1..2.3:10481", false},
        {"256.1.1.1:10481", false},
        {"01.2.3.4:10481", false},
        {"1.2.3.4.:10481", false},
        {"a.b.c.d:10481", false},
        {"%201.2.3.4:10481", false},
        {"", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.server);
        const Reply reply = get("/vekta4/vekta4add.php?server=" + c.server, "PLX");
        EXPECT_EQ(reply.status == 200 && reply.body == "0;added", c.added) << reply.body;
        if (!c.added) {
            EXPECT_EQ(reply.body.substr(0, 2), "1;");
        }
    }
    EXPECT_EQ(get("/vekta4/vekta4add.php", "PLX").body.substr(0, 2), "1;");
    EXPECT_EQ(listed(), "2.3.4.5:10481\n6.7.8.9:1\n6.7.8.9:65535\n");
    // The new servers are in the next list at once.
    EXPECT_EQ(signedGet("/vekta4/vekta4list.php").body,
              "2.3.4.5:10481\r\n6.7.8.9:1\r\n6.7.8.9:65535\r\nEND OF LIST\r\n");
}

TEST_F(MasterTest, AddListsOnlyServersThatAnswerAStatusQueryAndFailsInOneFixedTime)
{
    constexpr auto kTimeout = 1000ms;
    start({"--allow-loopback", "--status-timeout", "1000"});
    const auto timedAdd = [this](const std::string &server, std::chrono::milliseconds &took) {
        const auto begin = std::chrono::steady_clock::now();
        const Reply reply = get("/vekta4/vekta4add.php?server=" + server, "PLX");
        took = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - begin);
        return reply;
    };
    const test::UdpServers responder(1, answerStatus());
    const std::string answering = responder.address(0);
    std::chrono::milliseconds took{};
    EXPECT_EQ(timedAdd(answering, took).body, "0;added");
    EXPECT_LT(took, kTimeout) << "an answer ends the wait";

    // A port where nobody listens (the system says so at once), and a socket that reads the query but never
    // answers: the same reply at the same moment, the deadline, so the reply tells nothing about the port.
    const std::string closedPort = "127.0.0.1:" + std::to_string(test::freeUdpPort());
    const test::UdpPeer silent;
    const std::string silentPort = silent.address();
    for (const auto &server : {closedPort, silentPort}) {
        SCOPED_TRACE(server);
        const Reply reply = timedAdd(server, took);
        EXPECT_EQ(reply.body, "1;the server did not answer a status query");
        EXPECT_GE(took, kTimeout);
        EXPECT_LT(took, kTimeout + 2000ms);
    }
    EXPECT_EQ(listed(), answering + "\n");
}

class MasterDeleteTest : public MasterTest
{
  protected:
    void SetUp() override
    {
        MasterTest::SetUp();
        if (IsSkipped())
            return;
        admin({"add", "1.2.3.4:10481"});
        admin({"add", "5.6.7.8:10481"});
        // Every character the browser encodes, and quotes; given on standard input.
        admin({"set-password"}, nullptr, "a&b c%d+e#f'\"\n");
        // These tests check what a password check decides, not the service-wide pace of checks.
        start({"--password-checks", "1000"});
    }

    static constexpr const char *kEncodedPassword = "a%26b%20c%25d%2Be%23f'\"";

    Reply remove(const std::string &password, const std::string &server, int number = 31337)
    {
        return get("/vekta4/vekta4delete.php?pwd=" + password + "&server=" + server + "&" + signedQuery(number),
                   SignatureFor(number));
    }
};

TEST_F(MasterDeleteTest, RightPasswordDeletesWithAnEmptyReply)
{
    const Reply reply = remove(kEncodedPassword, "1.2.3.4:10481");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.status, 200);
    EXPECT_EQ(reply.header("Content-Length"), "0");
    EXPECT_EQ(reply.body, "");
    EXPECT_EQ(signedGet("/vekta4list.php").body, "5.6.7.8:10481\r\nEND OF LIST\r\n");
    EXPECT_EQ(listed(), "5.6.7.8:10481\n");
    // Gone already: not an empty reply, since nothing was deleted.
    EXPECT_NE(remove(kEncodedPassword, "1.2.3.4:10481").body, "");
}

TEST_F(MasterDeleteTest, AnythingButTheRightPasswordAndSignatureIsRefused)
{
    struct Case {
        const char *what;
        std::string query;
        std::string userAgent;
    };
    const std::string server = "&server=1.2.3.4:10481";
    const Case cases[] = {
        {"wrong password", "pwd=secret" + server + "&s=7", SignatureFor(7)},
        {"password not decoded", "pwd=a&b c%d+e#f" + server + "&s=7", SignatureFor(7)},
        {"empty password", "pwd=" + server + "&s=7", SignatureFor(7)},
        {"bad signature", std::string("pwd=") + kEncodedPassword + server + "&s=7", SignatureFor(8)},
        {"no signature", std::string("pwd=") + kEncodedPassword + server, "PELORIX"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        const Reply reply = get("/vekta4/vekta4delete.php?" + c.query, c.userAgent);
        EXPECT_TRUE(reply.closed);
        EXPECT_FALSE(reply.body.empty());
    }
    EXPECT_EQ(listed(), "1.2.3.4:10481\n5.6.7.8:10481\n");
}

TEST_F(MasterDeleteTest, RefusalsAreRateLimitedPerClient)
{
    for (int i = 0; i < 5; ++i)
        EXPECT_FALSE(remove("wrong" + std::to_string(i), "1.2.3.4:10481").body.empty());
    // From now on even the right password is refused without being checked.
    const Reply reply = remove(kEncodedPassword, "1.2.3.4:10481");
    EXPECT_EQ(reply.status, 429);
    EXPECT_FALSE(reply.body.empty());
    EXPECT_EQ(listed(), "1.2.3.4:10481\n5.6.7.8:10481\n");
}

TEST_F(MasterDeleteTest, SqlInEveryParameterIsOnlyText)
{
    const std::string injections[] = {
        "1.2.3.4:5'); DROP TABLE servers;--",
        "1.2.3.4:10481' OR '1'='1",
        "' OR 1=1; DELETE FROM servers; --",
        "\"; DROP TABLE settings; --",
    };
    auto encode = [](const std::string &text) {
        std::string out;
        for (const char c : text)
            out += c == ' ' ? std::string("%20") : c == '#' ? std::string("%23") : std::string(1, c);
        return out;
    };
    for (const auto &text : injections) {
        SCOPED_TRACE(text);
        EXPECT_EQ(get("/vekta4/vekta4add.php?server=" + encode(text), "PLX").body.substr(0, 2), "1;");
        EXPECT_FALSE(remove(encode(text), "1.2.3.4:10481", 1).body.empty());
        EXPECT_FALSE(remove(kEncodedPassword, encode(text), 2).body.empty());
        EXPECT_EQ(get("/vekta4list.php?s=" + encode(text), SignatureFor(0)).body, "denied");
    }
    EXPECT_EQ(listed(), "1.2.3.4:10481\n5.6.7.8:10481\n");
    EXPECT_EQ(remove(kEncodedPassword, "5.6.7.8:10481").body, "");
}

TEST_F(MasterTest, ListSurvivesAKilledService)
{
    start({"--no-check"});
    EXPECT_EQ(get("/vekta4/vekta4add.php?server=2.3.4.9:10481", "PLX").body, "0;added");
    m_service->kill(SIGKILL);
    m_service->wait();
    start({"--no-check"});
    EXPECT_EQ(signedGet("/vekta4list.php").body, "2.3.4.9:10481\r\nEND OF LIST\r\n");
}

TEST_F(MasterTest, AdministrationCommandsImportAndEdit)
{
    std::ofstream(m_dir.file("list.txt"), std::ios::binary)
        << "1.2.3.4:10481\r\n5.6.7.8:10481\n9.9.9.9:1\r  10.0.0.1:27015 \n\nnot an address\n1.2.3.4:10481\nEND OF LIST";
    std::string out;
    admin({"import", m_dir.file("list.txt")}, &out);
    EXPECT_EQ(out, "4 added, 1 already listed, 2 lines skipped\n");
    EXPECT_EQ(listed(), "1.2.3.4:10481\n5.6.7.8:10481\n9.9.9.9:1\n10.0.0.1:27015\n");
    admin({"remove", "5.6.7.8:10481"});
    EXPECT_EQ(command({"remove", "5.6.7.8:10481"}), 1);
    EXPECT_EQ(command({"add", "1.2.3.4:10481"}), 1);
    EXPECT_EQ(command({"add", "1.2.3.4"}), 64);
    EXPECT_EQ(command({"set-password", "what?"}), 64);
    EXPECT_EQ(command({"set-password"}, nullptr, std::string("ab\0cd\n", 6)), 64) << "a NUL byte in the password";
    EXPECT_EQ(listed(), "1.2.3.4:10481\n9.9.9.9:1\n10.0.0.1:27015\n");

    // The password is never kept as it was given.
    admin({"set-password", "plain-secret"});
    std::ifstream file(m_db, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::ifstream wal(m_db + "-wal", std::ios::binary);
    const std::string walBytes((std::istreambuf_iterator<char>(wal)), std::istreambuf_iterator<char>());
    EXPECT_EQ((bytes + walBytes).find("plain-secret"), std::string::npos);
    EXPECT_NE((bytes + walBytes).find("pbkdf2-sha256$"), std::string::npos);
}

TEST_F(MasterTest, CurlGetsTheReplies)
{
    if (std::string(PELORIX_CURL_BIN).empty())
        GTEST_SKIP() << "curl is not installed";
    admin({"add", "1.2.3.4:10481"});
    admin({"add", "5.6.7.8:10481"});
    start();
    const std::string base = "http://127.0.0.1:" + std::to_string(m_port);
    std::string out;
    EXPECT_EQ(test::runProcess(PELORIX_CURL_BIN, {"-s", "-A", SignatureFor(99), base + "/vekta4list.php?s=99"}, &out),
              0);
    EXPECT_EQ(out, kTwoServers);
    EXPECT_EQ(test::runProcess(PELORIX_CURL_BIN, {"-s", "-0", base + "/info/ver.php?id=2&all=yes"}, &out), 0);
    EXPECT_EQ(out, "v1.79\r\n\r\n" + base + "/info/motd.txt\r\n");
    EXPECT_EQ(test::runProcess(PELORIX_CURL_BIN, {"-s", "-o", "/dev/null", "-w", "%{http_code}", base + "/x"}, &out),
              0);
    EXPECT_EQ(out, "404");
}

TEST_F(MasterTest, ApacheBenchGetsTheList)
{
    if (std::string(PELORIX_AB_BIN).empty())
        GTEST_SKIP() << "ApacheBench is not installed";
    admin({"add", "1.2.3.4:10481"});
    admin({"add", "5.6.7.8:10481"});
    start();
    std::string out;
    const std::string address = "http://127.0.0.1:" + std::to_string(m_port) + "/vekta4list.php?s=42";
    for (const std::string keepAlive : {"", "-k"}) {
        std::vector<std::string> args{"-q", "-n", "50", "-c", "5", "-H", "User-Agent: " + SignatureFor(42), address};
        if (!keepAlive.empty())
            args.insert(args.begin(), keepAlive);
        EXPECT_EQ(test::runProcess(PELORIX_AB_BIN, args, &out), 0);
        EXPECT_NE(out.find("Complete requests:      50"), std::string::npos) << out;
        EXPECT_NE(out.find("Failed requests:        0"), std::string::npos) << out;
        EXPECT_EQ(out.find("Non-2xx responses"), std::string::npos) << out;
        EXPECT_NE(out.find("Document Length:        " + std::to_string(std::string(kTwoServers).size()) + " bytes"),
                  std::string::npos)
            << out;
    }
}

} // namespace
