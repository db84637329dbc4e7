#include "platform/Loopback.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <string>

using namespace pelorix;

TEST(Loopback, AddressAndTextNameThisMachine)
{
    const sockaddr_in address = loopbackAddress(10480);
    EXPECT_EQ(address.sin_family, AF_INET);
    EXPECT_EQ(ntohl(address.sin_addr.s_addr), 0x7F000001u);
    EXPECT_EQ(ntohs(address.sin_port), 10480);
    EXPECT_EQ(loopbackHostPort(10480), "127.0.0.1:10480");
    EXPECT_EQ(loopbackHostPort(0), "127.0.0.1:0");
}

TEST(Loopback, BindsAFreePortAndCarriesADatagramToIt)
{
    const UniqueFd server = bindLoopback(SOCK_DGRAM | SOCK_CLOEXEC);
    const UniqueFd client = bindLoopback(SOCK_DGRAM | SOCK_CLOEXEC);
    ASSERT_TRUE(server);
    ASSERT_TRUE(client);
    const int port = localPort(server.get());
    ASSERT_GT(port, 0);
    EXPECT_NE(localPort(client.get()), port);

    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ASSERT_EQ(::getsockname(server.get(), reinterpret_cast<sockaddr *>(&bound), &length), 0);
    EXPECT_EQ(ntohl(bound.sin_addr.s_addr), 0x7F000001u);

    const sockaddr_in to = loopbackAddress(port);
    ASSERT_EQ(::sendto(client.get(), "\\status\\", 8, 0, reinterpret_cast<const sockaddr *>(&to), sizeof to), 8);
    pollfd ready{server.get(), POLLIN, 0};
    ASSERT_EQ(::poll(&ready, 1, 5000), 1);
    char buffer[16] = {};
    sockaddr_in from{};
    length = sizeof from;
    ASSERT_EQ(::recvfrom(server.get(), buffer, sizeof buffer, 0, reinterpret_cast<sockaddr *>(&from), &length), 8);
    EXPECT_EQ(std::string(buffer, 8), "\\status\\");
    EXPECT_EQ(ntohs(from.sin_port), localPort(client.get()));
}

TEST(Loopback, APortInUseIsRefusedWithTheReason)
{
    const UniqueFd first = bindLoopback(SOCK_DGRAM | SOCK_CLOEXEC);
    ASSERT_TRUE(first);
    const int port = localPort(first.get());

    errno = 0;
    const UniqueFd second = bindLoopback(SOCK_DGRAM | SOCK_CLOEXEC, port);
    EXPECT_FALSE(second);
    EXPECT_EQ(errno, EADDRINUSE);

    // A socket that was never bound has no port to tell.
    const UniqueFd unbound(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    EXPECT_EQ(localPort(unbound.get()), 0);
    EXPECT_EQ(localPort(-1), 0);
}
