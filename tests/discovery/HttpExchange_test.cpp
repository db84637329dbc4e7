#include "discovery/HttpExchange.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelorix::http;

namespace
{

struct Reading {
    Outcome outcome;
    int status;
    std::string body;
};

Reading readFrom(std::string_view bytes, std::size_t pieceSize)
{
    BufferSource source(bytes, pieceSize);
    std::string body;
    const Response response = readResponse(source, ExchangeLimits{}, [&body](std::string_view piece) {
        body += piece;
        return true;
    });
    return {response.outcome, response.status, body};
}

std::string interimHeads(int count, const std::string &head = "HTTP/1.1 100 Continue\r\n\r\n")
{
    std::string bytes;
    for (int i = 0; i < count; ++i)
        bytes += head;
    return bytes;
}

} // namespace

TEST(HttpResponseReader, ReadsTheSameReplyWhateverPiecesItArrivesIn)
{
    struct Case {
        const char *what;
        std::string bytes;
        Outcome outcome;
        int status;
        std::string body;
    };
    const std::string ok = "HTTP/1.1 200 OK\r\n";
    const Case cases[] = {
        {"by length", ok + "Content-Length: 5\r\n\r\nhello", Outcome::Complete, 200, "hello"},
        {"chunked with extension and trailer",
         ok + "Transfer-Encoding: chunked\r\n\r\n3;x=y\r\nabc\r\n2\r\nde\r\n0\r\nT: 1\r\n\r\n", Outcome::Complete, 200,
         "abcde"},
        {"until the input ends, LF-only head", "HTTP/1.0 404 Not Found\nX: y\n\n<h1>404</h1>", Outcome::Complete, 404,
         "<h1>404</h1>"},
        {"interim head first", "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\nContent-Length: 1\r\n\r\nz",
         Outcome::Complete, 201, "z"},
        {"ends inside the body", ok + "Content-Length: 9\r\n\r\nabc", Outcome::Broken, 200, "abc"},
        {"ends inside the head", ok + "Content-Le", Outcome::Broken, 200, ""},
        {"bad chunk size", ok + "Transfer-Encoding: chunked\r\n\r\nxyz\r\n", Outcome::Fault, 200, ""},
        {"status below 100", "HTTP/1.1 099 Odd\r\n\r\nbody", Outcome::Fault, 0, ""},
    };
    for (const auto &c : cases) {
        for (const std::size_t piece : {std::size_t{1}, std::size_t{2}, std::size_t{7}, c.bytes.size()}) {
            const Reading r = readFrom(c.bytes, piece);
            EXPECT_EQ(r.outcome, c.outcome) << c.what << ", pieces of " << piece;
            EXPECT_EQ(r.status, c.status) << c.what << ", pieces of " << piece;
            EXPECT_EQ(r.body, c.body) << c.what << ", pieces of " << piece;
        }
    }
}

TEST(HttpResponseReader, AFewInterimRepliesAreToleratedAndNoMore)
{
    const std::string final = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";
    struct Case {
        std::string interims;
        Outcome outcome;
    };
    const Case cases[] = {
        {interimHeads(0), Outcome::Complete},
        {interimHeads(4), Outcome::Complete},
        {interimHeads(5), Outcome::Complete},
        {interimHeads(6), Outcome::Fault},
        {interimHeads(1000), Outcome::Fault},
        {interimHeads(3) + interimHeads(2, "HTTP/1.1 199 Wait\r\nX-A: b\r\n\r\n"), Outcome::Complete},
        {interimHeads(3) + interimHeads(3, "HTTP/1.1 101 Switching\r\n\r\n"), Outcome::Fault},
    };
    for (const auto &c : cases) {
        const Reading r = readFrom(c.interims + final, 64);
        EXPECT_EQ(r.outcome, c.outcome) << c.interims.size() << " bytes of interim heads";
        EXPECT_EQ(r.body, c.outcome == Outcome::Complete ? "ok" : "") << c.interims.size() << " bytes of interim heads";
    }
}

TEST(CookieJar, HoldsABoundedNumberOfBoundedCookies)
{
    std::vector<std::string> jar;
    for (int i = 0; i < 60; ++i)
        applySetCookie(jar, "c" + std::to_string(i) + "=v; path=/");
    ASSERT_EQ(jar.size(), kMaxCookies);
    EXPECT_EQ(jar.front(), "c0=v");
    EXPECT_EQ(jar.back(), "c49=v");

    // A full jar still takes new values for the names it holds, and room made by a removal is used again.
    applySetCookie(jar, "C0=new");
    EXPECT_EQ(jar.front(), "C0=new");
    applySetCookie(jar, "c1=");
    EXPECT_EQ(jar.size(), kMaxCookies - 1);
    applySetCookie(jar, "late=1");
    EXPECT_EQ(jar.back(), "late=1");
    applySetCookie(jar, "later=1");
    EXPECT_EQ(jar.back(), "late=1");

    // name=value of kMaxCookieBytes is taken; one byte more is not, and the entry keeps its value.
    const std::string fits(kMaxCookieBytes - 3, 'x');
    applySetCookie(jar, "C0=" + fits);
    EXPECT_EQ(jar.front(), "C0=" + fits);
    applySetCookie(jar, "C0=" + fits + "y");
    EXPECT_EQ(jar.front(), "C0=" + fits);
    EXPECT_EQ(jar.size(), kMaxCookies);
}
