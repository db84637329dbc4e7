#include "discovery/WebClient.h"

#include "core/SettingsStore.h"
#include "support/LoopbackHttpServer.h"
#include "support/RecordingPump.h"
#include "support/ScriptedDialogs.h"
#include "support/TestProcess.h"
#include "support/Tinyproxy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace pelorix;
using namespace pelorix::test;
using namespace std::chrono_literals;
using Reply = LoopbackHttpServer::Reply;
using Clock = std::chrono::steady_clock;

namespace
{

constexpr char kWarning[] = "Unknown reply from server!\r\nError 1;404\r\nResponse: ";

class WebClientTest : public ::testing::Test
{
  protected:
    void useProxy(int port, const std::string &user = {}, const std::string &password = {})
    {
        settings.WriteBool("proxy", true);
        settings.WriteString("proxyserver", "127.0.0.1");
        settings.WriteString("proxyport", std::to_string(port));
        settings.WriteString("proxyuser", user);
        settings.WriteString("proxypassword", password);
    }

    // Small limits, so that the limit cases finish in a few seconds.
    void useSmallLimits()
    {
        WebLimits limits;
        limits.waitForDataMs = 500;
        limits.transferMs = 1500;
        limits.maxBodyBytes = 1u << 20;
        limits.downloadWaitForDataMs = 500;
        limits.maxDownloadBytes = 1u << 20;
        client.setLimits(limits);
    }

    std::string host() const { return server.hostPort(); }

    TempDir dir;
    SettingsStore settings{dir.file("PELORIX.reg")};
    RecordingPump pump;
    ScriptedDialogs dialogs;
    WebClient client{settings, pump, dialogs};
    LoopbackHttpServer server;
};

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::vector<std::string> filesIn(const std::string &folder)
{
    std::vector<std::string> names;
    for (const auto &entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

TEST_F(WebClientTest, DirectRequestHasTheExactWireForm)
{
    struct Case {
        std::string address;
        std::string userAgent;
        std::string request;
    };
    const Case cases[] = {
        {server.url("/vekta4list.php?s=42"), "0123abcd",
         "GET /vekta4list.php?s=42 HTTP/1.0\r\nHost: " + host() +
             "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\nUser-Agent: 0123abcd\r\n\r\n"},
        {server.url(""), "",
         "GET / HTTP/1.0\r\nHost: " + host() + "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\n\r\n"},
        {server.url("?id=2&all=yes"), "PELORIX",
         "GET /?id=2&all=yes HTTP/1.0\r\nHost: " + host() +
             "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\nUser-Agent: PELORIX\r\n\r\n"},
    };
    for (const auto &c : cases) {
        client.WebGet(c.address, c.userAgent);
        ASSERT_FALSE(server.requests().empty());
        EXPECT_EQ(server.requests().back(), c.request) << c.address;
    }
}

TEST_F(WebClientTest, ProxyRequestCarriesTheAbsoluteAddressAndCredentials)
{
    // The recording server plays the proxy; nothing connects to the port named in the address.
    struct Case {
        std::string user;
        std::string password;
        std::string address;
        std::string request;
    };
    const std::string port = std::to_string(freeTcpPort());
    const Case cases[] = {
        {"user", "pass", "http://127.0.0.1/vekta4/vekta4add.php?server=1.2.3.4:10481",
         "GET http://127.0.0.1:80/vekta4/vekta4add.php?server=1.2.3.4:10481 HTTP/1.0\r\nHost: 127.0.0.1\r\n"
         "Proxy-Authorization: Basic dXNlcjpwYXNz\r\nKeep-Alive: 300\r\nProxy-Connection: keep-alive\r\n"
         "User-Agent: PLX\r\n\r\n"},
        {"", "ignored", "http://127.0.0.1:" + port + "/x",
         "GET http://127.0.0.1:" + port + "/x HTTP/1.0\r\nHost: 127.0.0.1:" + port +
             "\r\nKeep-Alive: 300\r\nProxy-Connection: keep-alive\r\nUser-Agent: PLX\r\n\r\n"},
    };
    for (const auto &c : cases) {
        useProxy(server.port(), c.user, c.password);
        client.WebGet(c.address, "PLX");
        ASSERT_FALSE(server.requests().empty());
        EXPECT_EQ(server.requests().back(), c.request) << c.address;
    }
}

TEST_F(WebClientTest, ProxySettingsAreReadAtEveryRequest)
{
    LoopbackHttpServer proxy;
    server.setDefaultReply(LoopbackHttpServer::lengthReply("direct"));
    proxy.setDefaultReply(LoopbackHttpServer::lengthReply("proxied"));

    useProxy(proxy.port());
    EXPECT_EQ(client.WebGet(server.url("/a"), "x"), "proxied");
    settings.WriteBool("proxy", false);
    EXPECT_EQ(client.WebGet(server.url("/b"), "x"), "direct");
    // The flag alone is not enough: without a proxy host the request goes direct.
    settings.WriteBool("proxy", true);
    settings.WriteString("proxyserver", "");
    EXPECT_EQ(client.WebGet(server.url("/c"), "x"), "direct");
    // A proxy port that is no port number is a fault of the request.
    useProxy(proxy.port());
    settings.WriteString("proxyport", "eighty");
    EXPECT_EQ(client.WebGet(server.url("/d"), "x"), "1;404");
    EXPECT_EQ(proxy.connectionCount(), 1u);
    EXPECT_EQ(server.connectionCount(), 2u);
}

TEST_F(WebClientTest, BodyFormsAndLineBreaks)
{
    struct Case {
        const char *what;
        Reply reply;
        std::string text;
    };
    Reply trickle;
    trickle.parts = {"HTTP/1.1 200 OK\r\nContent-Len", "gth: 6\r\n\r\nab", "cd", "ef"};
    trickle.gap = 30ms;
    const Case cases[] = {
        {"LF lines", LoopbackHttpServer::lengthReply("a\nb\n"), "a\r\nb"},
        {"empty last line keeps its break", LoopbackHttpServer::lengthReply("a\r\n\r\n"), "a\r\n"},
        {"empty body", LoopbackHttpServer::lengthReply(""), ""},
        {"lone CR", LoopbackHttpServer::untilCloseReply("x\ry\r\nz"), "x\r\ny\r\nz"},
        {"NUL ends the body", LoopbackHttpServer::lengthReply(std::string("ab\ncd\0ef\n", 9)), "ab\r\ncd"},
        {"chunked", LoopbackHttpServer::chunkedReply({"li", "ne1\r", "\nline2\r\n"}), "line1\r\nline2"},
        {"chunk extension and trailer",
         LoopbackHttpServer::rawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n"
                                      "3;name=v\r\nabc\r\n0\r\nX-Trailer: 1\r\n\r\n"),
         "abc"},
        {"until close", LoopbackHttpServer::untilCloseReply("one\ntwo"), "one\r\ntwo"},
        {"trickle", trickle, "abcdef"},
        {"LF-only head", LoopbackHttpServer::rawReply("HTTP/1.0 200 OK\nContent-Length: 2\n\nok"), "ok"},
        {"interim reply first",
         LoopbackHttpServer::rawReply("HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\nz"),
         "z"},
        {"error page", LoopbackHttpServer::lengthReply("<h1>404 Not Found</h1>\n", "", "404 Not Found"),
         "<h1>404 Not Found</h1>"},
        {"no body with 204", LoopbackHttpServer::rawReply("HTTP/1.1 204 No Content\r\n\r\n"), ""},
        {"closed before any reply", LoopbackHttpServer::rawReply(""), ""},
    };
    for (const auto &c : cases) {
        server.addReply(c.reply);
        EXPECT_EQ(client.WebGet(server.url("/t"), "x"), c.text) << c.what;
    }
    EXPECT_TRUE(dialogs.shown().empty());
}

TEST_F(WebClientTest, BrokenRepliesAndLimits)
{
    useSmallLimits();
    const std::string head = "HTTP/1.1 200 OK\r\n";
    const std::string big((1u << 20) + 1, 'x');
    struct Case {
        const char *what;
        Reply reply;
        std::string text;
    };
    const auto endless = LoopbackHttpServer::endlessReply;
    Reply silent = LoopbackHttpServer::rawReply(head + "Content-Length: 5\r\n\r\nab");
    silent.holdOpen = 5s;
    const Case cases[] = {
        // A broken transfer gives the body as far as it came.
        {"shorter than its length", LoopbackHttpServer::rawReply(head + "Content-Length: 10\r\n\r\nabc"), "abc"},
        {"silent peer", silent, "ab"},
        {"chunk cut off", LoopbackHttpServer::rawReply(head + "Transfer-Encoding: chunked\r\n\r\n5\r\nab"), "ab"},
        // A violation the client detects, or an overstepped limit, is its fault.
        {"status without code", LoopbackHttpServer::rawReply("HTTP/1.1 OK\r\n\r\nbody"), "1;404"},
        {"no status line", LoopbackHttpServer::rawReply("hello world\r\n\r\n"), "1;404"},
        {"bad chunk size",
         LoopbackHttpServer::rawReply(head + "Transfer-Encoding: chunked\r\n\r\nzz\r\nab\r\n0\r\n\r\n"), "1;404"},
        {"chunk longer than its size",
         LoopbackHttpServer::rawReply(head + "Transfer-Encoding: chunked\r\n\r\n1\r\nabc\r\n0\r\n\r\n"), "1;404"},
        {"bad length", LoopbackHttpServer::rawReply(head + "Content-Length: 12a\r\n\r\nab"), "1;404"},
        {"header line of 1 MiB", LoopbackHttpServer::rawReply(head + "X-Long: " + big + "\r\n\r\n"), "1;404"},
        {"announced length over the limit", LoopbackHttpServer::rawReply(head + "Content-Length: 2000000\r\n\r\nab"),
         "1;404"},
        {"body over the limit", LoopbackHttpServer::untilCloseReply(big), "1;404"},
        {"endless body", endless("HTTP/1.0 200 OK\r\n\r\n", std::string(65536, 'y'), 0ms), "1;404"},
        {"endless chunks",
         endless(head + "Transfer-Encoding: chunked\r\n\r\n", "4000\r\n" + std::string(16384, 'c') + "\r\n", 0ms),
         "1;404"},
        {"endless head", endless(head, "X-A: b\r\n", 0ms), "1;404"},
        // A hostile service: every wait is short, but the reply never ends.
        {"trickle past the transfer time", endless(head + "\r\n", "a", 100ms), "1;404"},
        {"head trickled past the transfer time", endless(head, "X-A: b\r\n", 100ms), "1;404"},
        {"chunks trickled past the transfer time",
         endless(head + "Transfer-Encoding: chunked\r\n\r\n", "1\r\nc\r\n", 100ms), "1;404"},
    };
    for (const auto &c : cases) {
        server.addReply(c.reply);
        const auto start = Clock::now();
        EXPECT_EQ(client.WebGet(server.url("/t"), "x"), c.text) << c.what;
        EXPECT_LT(Clock::now() - start, 20s) << c.what;
    }
    // The client is still usable afterwards.
    server.addReply(LoopbackHttpServer::lengthReply("fine"));
    EXPECT_EQ(client.WebGet(server.url("/t"), "x"), "fine");
}

TEST_F(WebClientTest, CookiesAreReplacedAppendedRemovedAndSent)
{
    server.addReply(LoopbackHttpServer::lengthReply("1", "Set-Cookie: sid=1; path=/\r\nset-cookie:  lang = en \r\n"));
    server.addReply(LoopbackHttpServer::lengthReply("2", "SET-COOKIE: SID=2; HttpOnly\r\n"));
    server.addReply(LoopbackHttpServer::lengthReply("3", "Set-Cookie: lang=; expires=Thu, 01 Jan 1970\r\n"));
    server.addReply(LoopbackHttpServer::lengthReply("4"));
    const std::string prefix =
        "GET /c HTTP/1.0\r\nHost: " + host() + "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\n";
    const std::vector<std::vector<std::string>> jars = {
        {"sid=1", "lang=en"}, {"SID=2", "lang=en"}, {"SID=2"}, {"SID=2"}};
    for (const auto &jar : jars) {
        client.WebGet(server.url("/c"), "ua");
        EXPECT_EQ(client.CookieJar(), jar);
    }
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 4u);
    EXPECT_EQ(requests[0], prefix + "User-Agent: ua\r\n\r\n");
    EXPECT_EQ(requests[1], prefix + "Cookie: sid=1; lang=en\r\nUser-Agent: ua\r\n\r\n");
    EXPECT_EQ(requests[2], prefix + "Cookie: SID=2; lang=en\r\nUser-Agent: ua\r\n\r\n");
    EXPECT_EQ(requests[3], prefix + "Cookie: SID=2\r\nUser-Agent: ua\r\n\r\n");
}

TEST_F(WebClientTest, UnreachableOrUnusableAddresses)
{
    const std::string closed = "http://127.0.0.1:" + std::to_string(freeTcpPort()) + "/x";
    const std::pair<std::string, std::string> cases[] = {
        {closed, ""},           {"", ""}, {"ftp://127.0.0.1/x", "1;404"}, {"http://127.0.0.1:99999/x", "1;404"},
        {"http:///x", "1;404"},
    };
    for (const auto &[address, text] : cases) {
        const auto start = Clock::now();
        EXPECT_EQ(client.WebGet(address, "x"), text) << address;
        EXPECT_LT(Clock::now() - start, 5s) << address;
        EXPECT_FALSE(client.WebBusy());
    }
    EXPECT_TRUE(dialogs.shown().empty());
    EXPECT_TRUE(client.CookieJar().empty());
}

TEST_F(WebClientTest, ReachTellsAnUnreachableServiceFromAnEmptyReply)
{
    useSmallLimits();
    Reply silent = LoopbackHttpServer::rawReply("");
    silent.holdOpen = 2s;
    Reply endless = LoopbackHttpServer::endlessReply("HTTP/1.0 200 OK\r\n\r\nx", "x", 50ms);
    struct Case {
        const char *what;
        std::optional<Reply> reply; // none: the address is used without the server
        std::string address;
        std::string text;
        WebReach reach;
    };
    const Case cases[] = {
        {"empty body", LoopbackHttpServer::lengthReply(""), server.url("/d"), "", WebReach::Answered},
        {"refusal text", LoopbackHttpServer::lengthReply("1;wrong"), server.url("/d"), "1;wrong", WebReach::Answered},
        {"error page", LoopbackHttpServer::lengthReply("", "", "503 Busy"), server.url("/d"), "", WebReach::Answered},
        {"garbage for a head", LoopbackHttpServer::rawReply("HTTP/1.1 OK\r\n\r\n"), server.url("/d"), "1;404",
         WebReach::Answered},
        {"a body that never ends", endless, server.url("/d"), "1;404", WebReach::Answered},
        {"closed before any byte", LoopbackHttpServer::rawReply(""), server.url("/d"), "", WebReach::NoReply},
        {"silent, then closed", silent, server.url("/d"), "", WebReach::NoReply},
        {"nobody listening", std::nullopt, "http://127.0.0.1:" + std::to_string(freeTcpPort()) + "/d", "",
         WebReach::NoReply},
        {"no address", std::nullopt, "", "", WebReach::NotSent},
        {"unusable address", std::nullopt, "http://127.0.0.1:99999/d", "1;404", WebReach::NotSent},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.what);
        if (c.reply)
            server.addReply(*c.reply);
        WebReach reach = WebReach::Answered; // every call sets it
        EXPECT_EQ(client.WebGet(c.address, "x", &reach), c.text);
        EXPECT_EQ(reach, c.reach);
    }
    // A bad proxy port stops the request before it is sent.
    settings.WriteBool("proxy", true);
    settings.WriteString("proxyserver", "127.0.0.1");
    settings.WriteString("proxyport", "none");
    WebReach reach = WebReach::Answered;
    EXPECT_EQ(client.WebGet(server.url("/d"), "x", &reach), "1;404");
    EXPECT_EQ(reach, WebReach::NotSent);
}

TEST_F(WebClientTest, UnknownReplyToAnAdminRequestIsWarnedAbout)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", kWarning},
        {"0;deleted", ""},
        {"1;wrong password", ""},
        {"hello\nworld", std::string(kWarning) + "hello\r\nworld"},
        {"0", std::string(kWarning) + "0"},
    };
    for (const auto &[body, warning] : cases) {
        const auto before = dialogs.shown().size();
        server.addReply(LoopbackHttpServer::lengthReply(body));
        client.WebGet(server.url("/a/?cmd=1"), "x");
        if (warning.empty()) {
            EXPECT_EQ(dialogs.shown().size(), before) << body;
        } else {
            ASSERT_EQ(dialogs.shown().size(), before + 1) << body;
            EXPECT_EQ(dialogs.shown().back().kind, DialogKind::Warning);
            EXPECT_EQ(dialogs.shown().back().text, warning);
        }
    }
    // Only addresses with "/a/?" are checked.
    server.addReply(LoopbackHttpServer::lengthReply("hello"));
    const auto before = dialogs.shown().size();
    client.WebGet(server.url("/a?x"), "x");
    EXPECT_EQ(dialogs.shown().size(), before);
}

TEST_F(WebClientTest, CallFromTheGateWaitRunsBeforeTheWaitingCall)
{
    server.addReply(LoopbackHttpServer::lengthReply("inner"));
    server.addReply(LoopbackHttpServer::lengthReply("outer"));
    std::string inner;
    bool busyWhenInnerStarted = true;
    bool busyWhenInnerEnded = true;
    pump.post([&] {
        busyWhenInnerStarted = client.WebBusy();
        inner = client.WebGet(server.url("/inner"), "x");
        busyWhenInnerEnded = client.WebBusy();
    });
    EXPECT_EQ(client.WebGet(server.url("/outer"), "x"), "outer");
    EXPECT_EQ(inner, "inner");
    // The outer call had not taken the flag yet; the inner one took and released it first.
    EXPECT_FALSE(busyWhenInnerStarted);
    EXPECT_FALSE(busyWhenInnerEnded);
    EXPECT_FALSE(client.WebBusy());
    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].substr(0, 11), "GET /inner ");
    EXPECT_EQ(requests[1].substr(0, 11), "GET /outer ");
}

TEST_F(WebClientTest, CallWhileAnotherHoldsTheFlagWaitsInTheGate)
{
    // The warning dialog of the first call handles events while that call holds WebBusy.
    struct LeaveTheWait {
    };
    server.addReply(LoopbackHttpServer::lengthReply("odd reply"));
    server.addReply(LoopbackHttpServer::lengthReply("later"));
    bool busyInDialog = false;
    int gateWaits = 0;
    std::size_t connectionsWhileWaiting = 0;
    bool nestedReturned = false;
    dialogs.setOnMessage([&](const ScriptedDialogs::Shown &) {
        busyInDialog = client.WebBusy();
        // On one thread nothing can clear the flag while this handler runs, so the test leaves
        // the wait itself once the second call has waited long enough.
        pump.setOnWait([&] {
            if (++gateWaits == 50) {
                connectionsWhileWaiting = server.connectionCount();
                throw LeaveTheWait{};
            }
        });
        try {
            client.WebGet(server.url("/second"), "x");
            nestedReturned = true;
        } catch (const LeaveTheWait &) {
        }
        pump.setOnWait({});
    });
    EXPECT_EQ(client.WebGet(server.url("/a/?first"), "x"), "odd reply");
    EXPECT_TRUE(busyInDialog);
    EXPECT_FALSE(nestedReturned);
    EXPECT_EQ(gateWaits, 50);
    EXPECT_EQ(connectionsWhileWaiting, 1u);
    EXPECT_FALSE(client.WebBusy());
    dialogs.setOnMessage({});
    EXPECT_EQ(client.WebGet(server.url("/third"), "x"), "later");
}

TEST_F(WebClientTest, GateWaitsOnceEvenWhenIdle)
{
    const int before = pump.waitCount();
    client.WebGet("", "x");
    EXPECT_GE(pump.waitCount(), before + 1);
    EXPECT_FALSE(client.WebBusy());
}

TEST_F(WebClientTest, DownloadWritesOnlyACompleteBody)
{
    useSmallLimits();
    const std::string target = dir.file("install.exe");
    const std::string payload = std::string("MZ\0\x01binary\r\n", 12) + std::string(100000, 'p');
    struct Case {
        const char *what;
        Reply reply;
        bool written;
    };
    const Case cases[] = {
        {"by length", LoopbackHttpServer::lengthReply(payload), true},
        {"chunked", LoopbackHttpServer::chunkedReply({payload.substr(0, 7), payload.substr(7)}), true},
        {"until close", LoopbackHttpServer::untilCloseReply(payload), true},
        {"cut short", LoopbackHttpServer::rawReply("HTTP/1.1 200 OK\r\nContent-Length: 200000\r\n\r\n" + payload),
         false},
        {"chunks cut short",
         LoopbackHttpServer::rawReply("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                                      "10\r\n0123456789abcdef\r\n"),
         false},
        {"too big", LoopbackHttpServer::untilCloseReply(std::string((1u << 20) + 10, 'b')), false},
        {"error page", LoopbackHttpServer::lengthReply("<h1>404 Not Found</h1>", "", "404 Not Found"), false},
        {"not http", LoopbackHttpServer::rawReply("garbage\r\n\r\n"), false},
    };
    for (const auto &c : cases) {
        std::filesystem::remove(target);
        server.addReply(c.reply);
        EXPECT_EQ(client.DownloadToFile(server.url("/download/vekta4/PELORIX_install.exe"), target), c.written)
            << c.what;
        if (c.written) {
            EXPECT_EQ(readFile(target), payload) << c.what;
            EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"install.exe"})) << c.what;
        } else {
            EXPECT_TRUE(filesIn(dir.path()).empty()) << c.what; // neither the file nor a partial one
        }
    }
    const auto requests = server.requests();
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests[0], "GET /download/vekta4/PELORIX_install.exe HTTP/1.0\r\nHost: " + host() +
                               "\r\nKeep-Alive: 300\r\nConnection: keep-alive\r\nUser-Agent: Pelorix\r\n\r\n");
}

TEST_F(WebClientTest, DownloadIgnoresProxyAndCookiesAndKeepsTheOldFileOnFailure)
{
    const std::string target = dir.file("install.exe");
    {
        std::ofstream(target) << "old";
    }
    server.addReply(LoopbackHttpServer::lengthReply("x", "Set-Cookie: sid=9\r\n"));
    client.WebGet(server.url("/"), "x");
    LoopbackHttpServer proxy;
    useProxy(proxy.port(), "u", "p");
    server.addReply(LoopbackHttpServer::rawReply("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nnew"));
    EXPECT_FALSE(client.DownloadToFile(server.url("/i.exe"), target));
    EXPECT_EQ(readFile(target), "old");
    server.addReply(LoopbackHttpServer::lengthReply("new"));
    EXPECT_TRUE(client.DownloadToFile(server.url("/i.exe"), target));
    EXPECT_EQ(readFile(target), "new");
    EXPECT_EQ(proxy.connectionCount(), 0u);
    for (const auto &request : server.requests()) {
        if (request.find("/i.exe") != std::string::npos) {
            EXPECT_EQ(request.find("Cookie"), std::string::npos);
        }
    }
    EXPECT_FALSE(client.DownloadToFile("http://127.0.0.1:" + std::to_string(freeTcpPort()) + "/x", target));
    EXPECT_EQ(readFile(target), "new");
}

TEST_F(WebClientTest, ThroughTinyproxyWithBasicAuthentication)
{
    Tinyproxy proxy("user", "pass");
    if (std::string(PELORIX_TINYPROXY_BIN).empty())
        GTEST_SKIP() << proxy.error();
    ASSERT_TRUE(proxy.started()) << proxy.error();
    const int port = proxy.port();

    server.addReply(LoopbackHttpServer::lengthReply("through\nthe proxy\n", "Set-Cookie: p=1\r\n"));
    useProxy(port, "user", "pass");
    EXPECT_EQ(client.WebGet(server.url("/vekta4list.php?s=7"), "sig7"), "through\r\nthe proxy");
    ASSERT_EQ(server.requests().size(), 1u);
    const std::string forwarded = server.requests()[0];
    EXPECT_EQ(forwarded.substr(0, forwarded.find("\r\n")), "GET /vekta4list.php?s=7 HTTP/1.0");
    EXPECT_NE(forwarded.find("\r\nUser-Agent: sig7\r\n"), std::string::npos) << forwarded;
    EXPECT_NE(forwarded.find("\r\nHost: " + host() + "\r\n"), std::string::npos) << forwarded;
    EXPECT_EQ(forwarded.find("Proxy-Authorization"), std::string::npos) << forwarded;
    EXPECT_EQ(client.CookieJar(), std::vector<std::string>{"p=1"});

    // A wrong password: the proxy's own error page comes back, and the server is never asked.
    useProxy(port, "user", "wrong");
    const std::string refused = client.WebGet(server.url("/vekta4list.php?s=8"), "sig8");
    EXPECT_NE(refused.find("Unauthorized"), std::string::npos) << refused;
    EXPECT_EQ(server.requests().size(), 1u);
}

TEST_F(WebClientTest, InterimRepliesAreToleratedOnlyAFewTimes)
{
    // Long limits: what ends these exchanges is the count of interim heads, not the time.
    WebLimits limits;
    limits.waitForDataMs = 5000;
    limits.transferMs = 10000;
    limits.downloadWaitForDataMs = 5000;
    limits.downloadTransferMs = 10000;
    client.setLimits(limits);
    const std::string target = dir.file("install.exe");
    const std::string interim = "HTTP/1.1 100 Continue\r\n\r\n";
    const auto afterInterims = [&](int n) {
        std::string bytes;
        for (int i = 0; i < n; ++i)
            bytes += interim;
        return LoopbackHttpServer::rawReply(bytes + "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
    };
    struct Case {
        const char *what;
        Reply reply;
        std::string text;
        bool written;
    };
    const Case cases[] = {
        {"five interim heads", afterInterims(5), "ok", true},
        {"six interim heads", afterInterims(6), "1;404", false},
        {"interim heads without end", LoopbackHttpServer::endlessReply(interim, interim, 10ms), "1;404", false},
    };
    for (const auto &c : cases) {
        server.addReply(c.reply);
        EXPECT_EQ(client.WebGet(server.url("/t"), "x"), c.text) << c.what;
        server.addReply(c.reply);
        EXPECT_EQ(client.DownloadToFile(server.url("/i.exe"), target), c.written) << c.what;
        EXPECT_EQ(std::filesystem::exists(target), c.written) << c.what;
        std::filesystem::remove(target);
    }
    // The endless peer saw both clients leave after a handful of heads, long before any time limit.
    ASSERT_TRUE(server.waitForServed(6));
    const auto sent = server.partsSent();
    ASSERT_EQ(sent.size(), 6u);
    EXPECT_LT(sent[4], 50u);
    EXPECT_LT(sent[5], 50u);
}

TEST_F(WebClientTest, DownloadThatNeverEndsIsAbandonedAtItsTotalLimit)
{
    WebLimits limits;
    limits.downloadWaitForDataMs = 1000;
    limits.downloadTransferMs = 1500;
    client.setLimits(limits);
    const std::string target = dir.file("install.exe");
    const auto endless = LoopbackHttpServer::endlessReply;
    Reply finishing;
    finishing.parts = {"HTTP/1.0 200 OK\r\n\r\n", "p", "p", "p", "p"};
    finishing.gap = 50ms;
    struct Case {
        const char *what;
        Reply reply;
        bool written;
    };
    // Every wait is shorter than the wait limit; only the total limit can end the endless ones.
    const Case cases[] = {
        {"body trickled without end", endless("HTTP/1.0 200 OK\r\n\r\n", "p", 100ms), false},
        {"announced body trickled without end", endless("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n", "p", 100ms),
         false},
        {"head trickled without end", endless("HTTP/1.1 200 OK\r\n", "X-A: b\r\n", 100ms), false},
        {"body trickled to its end within the limit", finishing, true},
    };
    for (const auto &c : cases) {
        {
            std::ofstream(target) << "old";
        }
        server.addReply(c.reply);
        EXPECT_EQ(client.DownloadToFile(server.url("/i.exe"), target), c.written) << c.what;
        EXPECT_EQ(readFile(target), c.written ? "pppp" : "old") << c.what;
        EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"install.exe"})) << c.what;
    }
}

TEST_F(WebClientTest, DownloadedFileIsNotMarkedExecutable)
{
    const std::string target = dir.file("install.exe");
    {
        std::ofstream(target) << "old";
    }
    std::filesystem::permissions(target, std::filesystem::perms(0755)); // as an earlier version left it
    const std::pair<mode_t, mode_t> cases[] = {{022, 0644}, {077, 0600}, {0, 0644}, {027, 0640}};
    for (const auto &[mask, mode] : cases) {
        server.addReply(LoopbackHttpServer::lengthReply("MZ"));
        const mode_t before = ::umask(mask);
        const bool written = client.DownloadToFile(server.url("/i.exe"), target);
        ::umask(before);
        ASSERT_TRUE(written) << std::oct << mask;
        struct stat info {
        };
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, mode) << "umask " << std::oct << mask;
    }
}
