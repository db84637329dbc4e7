// The master service's limits and log mask as units: windows and caps with a hand-driven clock, client prefix
// keys, special-purpose address blocks and the masking of the password in logged targets.
#include "RateLimiter.h"
#include "RequestTarget.h"
#include "ServerAddress.h"
#include "StatusProbe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>

using namespace pelorix::master;
using namespace std::chrono_literals;

namespace
{

using Clock = RateLimiter::Clock;

TEST(RateLimiterTest, BlocksAtTheLimitUntilTheOldestEventLeavesTheWindow)
{
    RateLimiter limiter(3, 60s);
    const Clock::time_point t0{};
    limiter.record("a", t0);
    limiter.record("a", t0 + 10s);
    EXPECT_FALSE(limiter.blocked("a", t0 + 10s));
    limiter.record("a", t0 + 20s);
    EXPECT_TRUE(limiter.blocked("a", t0 + 20s));
    EXPECT_FALSE(limiter.blocked("b", t0 + 20s)) << "keys are independent";
    // The oldest event leaves the window exactly 60 s after it: blocked just before, free at that moment.
    EXPECT_TRUE(limiter.blocked("a", t0 + 60s - 1ns));
    EXPECT_FALSE(limiter.blocked("a", t0 + 60s));
    EXPECT_TRUE(limiter.tryRecord("a", t0 + 60s));
    EXPECT_FALSE(limiter.tryRecord("a", t0 + 60s)) << "the event just taken fills the window again";
}

TEST(RateLimiterTest, ExpiredKeysLeaveAFewAtATimeAndTheTableStaysBounded)
{
    RateLimiter limiter(2, 10s, 1000);
    const Clock::time_point t0{};
    for (int i = 0; i < 1000; ++i)
        limiter.record("client" + std::to_string(i), t0);
    EXPECT_EQ(limiter.keyCount(), 1000u);
    // A full table makes room by dropping the oldest keys, never by refusing the new one.
    limiter.record("newcomer", t0 + 1s);
    EXPECT_EQ(limiter.keyCount(), 1000u);
    EXPECT_FALSE(limiter.blocked("client0", t0 + 1s));
    // Once expired, every call drops a few: steady traffic empties the table without any full rescan.
    for (int i = 0; i < 10; ++i)
        limiter.blocked("someone", t0 + 20s);
    EXPECT_EQ(limiter.keyCount(), 1000u - 80u);
    for (int i = 0; i < 1000; ++i)
        limiter.blocked("someone", t0 + 20s);
    EXPECT_EQ(limiter.keyCount(), 0u);
}

TEST(RateLimiterTest, TokenBucketGivesItsBurstThenItsRate)
{
    const Clock::time_point t0{};
    TokenBucket bucket(2.0, 2.0, t0);
    EXPECT_TRUE(bucket.take(t0));
    EXPECT_TRUE(bucket.take(t0));
    EXPECT_FALSE(bucket.take(t0));
    // One token every 500 ms: not a moment before.
    EXPECT_FALSE(bucket.take(t0 + 499ms));
    EXPECT_TRUE(bucket.take(t0 + 500ms));
    EXPECT_FALSE(bucket.take(t0 + 500ms));
    // Saved up to the burst, no further.
    EXPECT_TRUE(bucket.take(t0 + 1h));
    EXPECT_TRUE(bucket.take(t0 + 1h));
    EXPECT_FALSE(bucket.take(t0 + 1h));
}

sockaddr_storage v4(const char *text)
{
    sockaddr_storage storage{};
    auto *address = reinterpret_cast<sockaddr_in *>(&storage);
    address->sin_family = AF_INET;
    inet_pton(AF_INET, text, &address->sin_addr);
    return storage;
}

sockaddr_storage v6(const char *text)
{
    sockaddr_storage storage{};
    auto *address = reinterpret_cast<sockaddr_in6 *>(&storage);
    address->sin6_family = AF_INET6;
    inet_pton(AF_INET6, text, &address->sin6_addr);
    return storage;
}

TEST(ClientPrefixTest, IPv4By24AndIPv6By64)
{
    struct Case {
        sockaddr_storage address;
        const char *prefix;
        const char *text;
    };
    const Case cases[] = {
        {v4("203.0.113.7"), "203.0.113.0/24", "203.0.113.7"},
        {v4("203.0.113.250"), "203.0.113.0/24", "203.0.113.250"},
        {v4("203.0.114.7"), "203.0.114.0/24", "203.0.114.7"},
        {v6("2001:db8:1:2:aaaa::1"), "2001:db8:1:2::/64", "2001:db8:1:2:aaaa::1"},
        {v6("2001:db8:1:2:ffff:ffff:ffff:ffff"), "2001:db8:1:2::/64", "2001:db8:1:2:ffff:ffff:ffff:ffff"},
        {v6("2001:db8:1:3::1"), "2001:db8:1:3::/64", "2001:db8:1:3::1"},
        {v6("::ffff:198.51.100.9"), "198.51.100.0/24", "::ffff:198.51.100.9"},
    };
    for (const auto &c : cases) {
        const auto *address = reinterpret_cast<const sockaddr *>(&c.address);
        EXPECT_EQ(clientPrefix(address), c.prefix) << c.text;
        EXPECT_EQ(clientAddressText(address), c.text);
    }
    EXPECT_EQ(clientPrefix(nullptr), "-");
}

TEST(ServerAddressTest, SpecialPurposeBlocksToTheirLastAddress)
{
    struct Case {
        const char *address;
        AddressKind kind;
    };
    const Case cases[] = {
        {"0.0.0.0:1", AddressKind::Special},         {"0.255.255.255:1", AddressKind::Special},
        {"1.0.0.0:1", AddressKind::Public},          {"9.255.255.255:1", AddressKind::Public},
        {"10.0.0.0:1", AddressKind::Private},        {"10.255.255.255:1", AddressKind::Private},
        {"11.0.0.0:1", AddressKind::Public},         {"100.63.255.255:1", AddressKind::Public},
        {"100.64.0.0:1", AddressKind::Special},      {"100.127.255.255:1", AddressKind::Special},
        {"100.128.0.0:1", AddressKind::Public},      {"126.255.255.255:1", AddressKind::Public},
        {"127.0.0.1:1", AddressKind::Loopback},      {"127.255.255.255:1", AddressKind::Loopback},
        {"128.0.0.0:1", AddressKind::Public},        {"169.253.255.255:1", AddressKind::Public},
        {"169.254.169.254:1", AddressKind::Special}, {"169.255.0.0:1", AddressKind::Public},
        {"172.15.255.255:1", AddressKind::Public},   {"172.16.0.0:1", AddressKind::Private},
        {"172.31.255.255:1", AddressKind::Private},  {"172.32.0.0:1", AddressKind::Public},
        {"192.0.0.9:1", AddressKind::Special},       {"192.0.1.0:1", AddressKind::Public},
        {"192.0.2.255:1", AddressKind::Special},     {"192.88.99.1:1", AddressKind::Special},
        {"192.167.255.255:1", AddressKind::Public},  {"192.168.0.0:1", AddressKind::Private},
        {"192.168.255.255:1", AddressKind::Private}, {"192.169.0.0:1", AddressKind::Public},
        {"198.17.255.255:1", AddressKind::Public},   {"198.18.0.0:1", AddressKind::Special},
        {"198.19.255.255:1", AddressKind::Special},  {"198.20.0.0:1", AddressKind::Public},
        {"198.51.100.1:1", AddressKind::Special},    {"203.0.113.255:1", AddressKind::Special},
        {"203.0.114.0:1", AddressKind::Public},      {"223.255.255.255:1", AddressKind::Public},
        {"224.0.0.0:1", AddressKind::Special},       {"239.255.255.255:1", AddressKind::Special},
        {"240.0.0.0:1", AddressKind::Special},       {"255.255.255.255:1", AddressKind::Special},
    };
    for (const auto &c : cases) {
        const auto address = parseServerAddress(c.address);
        ASSERT_TRUE(address) << c.address;
        EXPECT_EQ(addressKind(address->ip), c.kind) << c.address;
    }
}

TEST(LoggableTargetTest, PasswordIsBlankedWhateverWayItsNameIsWritten)
{
    struct Case {
        const char *target;
        const char *logged;
    };
    const Case cases[] = {
        {"/d.php?pwd=hunter2&server=1.2.3.4:5&s=1", "/d.php?pwd=***&server=1.2.3.4:5&s=1"},
        {"/d.php?p%77d=hunter2&s=1", "/d.php?p%77d=***&s=1"},
        {"/d.php?%70%77%64=hunter2", "/d.php?%70%77%64=***"},
        {"/d.php?pw%64=hunter2", "/d.php?pw%64=***"},
        {"/d.php?PWD=hunter2", "/d.php?PWD=***"},
        {"/d.php?s=1&pwd=hunter2", "/d.php?s=1&pwd=***"},
        {"/d.php?pwd=hunter2#x&s=1", "/d.php?pwd=***&s=1"},
        {"/d.php?pwd", "/d.php?pwd=***"},
        {"http://h?a/d.php?pwd=hunter2", "http://h?a/d.php?pwd=***"},
        {"/d.php?pwdx=visible&xpwd=visible", "/d.php?pwdx=visible&xpwd=visible"},
        {"/d.php?pwd%3D=hunter2", "/d.php?pwd%3D=hunter2"}, // the name "pwd=" is not the password's
        {"/a b\"c\\d\x01\xff", "/a%20b%22c%5Cd%01%FF"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(loggableTarget(c.target), c.logged) << c.target;
    // Cut after masking, so a cut never lets part of a password through.
    EXPECT_EQ(loggableTarget("/d.php?pwd=" + std::string(500, 'x'), 20), "/d.php?pwd=***");
    EXPECT_EQ(loggableTarget("/" + std::string(500, 'a'), 10), "/aaaaaaaaa...");
}

TEST(StatusProbeTest, ReplyIsCompleteWithItsFinalOrEofKey)
{
    EXPECT_TRUE(statusReplyComplete("\\hostname\\x\\final\\"));
    EXPECT_TRUE(statusReplyComplete("\\hostname\\x\\eof"));
    EXPECT_FALSE(statusReplyComplete("\\hostname\\final"));
    EXPECT_FALSE(statusReplyComplete(""));
}

// Leaves room for exactly one more descriptor, so the prober's set-up gets its epoll set and then runs out; exits
// 0 when the failed set-up closed that one descriptor again.
[[noreturn]] void failProberSetUp()
{
    // The lowest free number is the one the next descriptor gets.
    const int lowest = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    ::close(lowest);
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = static_cast<rlim_t>(lowest) + 1;
    ::setrlimit(RLIMIT_NOFILE, &limit);
    try {
        const StatusProber prober(StatusProber::Limits{});
    } catch (const std::runtime_error &) {
        std::_Exit(::fcntl(lowest, F_GETFD) == -1 && errno == EBADF ? 0 : 1);
    }
    std::_Exit(2);
}

TEST(StatusProbeTest, AFailedSetUpLeavesNoDescriptorBehind)
{
    EXPECT_EXIT(failProberSetUp(), testing::ExitedWithCode(0), "");
}

} // namespace
