#include "support/PrivateNetwork.h"

#include "platform/UniqueFd.h"
#include "support/TestProcess.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace pelorix::test
{

namespace
{

constexpr char kInsideVariable[] = "PELORIX_TEST_PRIVATE_NETWORK";
constexpr char kUnshare[] = "/usr/bin/unshare";

std::string selfPath()
{
    char path[4096];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, static_cast<std::size_t>(n)) : std::string();
}

} // namespace

bool insidePrivateNetwork()
{
    const char *inside = std::getenv(kInsideVariable);
    return inside && std::string(inside) == "1";
}

bool setUpPrivateNetwork(std::string &error)
{
    const UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ifreq flags{};
    std::strncpy(flags.ifr_name, "lo", IFNAMSIZ - 1);
    if (::ioctl(fd.get(), SIOCGIFFLAGS, &flags) != 0) {
        error = "SIOCGIFFLAGS lo: " + std::string(std::strerror(errno));
        return false;
    }
    flags.ifr_flags = static_cast<short>(flags.ifr_flags | IFF_UP);
    if (::ioctl(fd.get(), SIOCSIFFLAGS, &flags) != 0) {
        error = "SIOCSIFFLAGS lo: " + std::string(std::strerror(errno));
        return false;
    }
    const auto setAddress = [&](unsigned long request, const char *text) {
        ifreq address{};
        std::strncpy(address.ifr_name, "lo:77", IFNAMSIZ - 1);
        sockaddr_in in{};
        in.sin_family = AF_INET;
        ::inet_pton(AF_INET, text, &in.sin_addr);
        std::memcpy(&address.ifr_addr, &in, sizeof in);
        return ::ioctl(fd.get(), request, &address) == 0;
    };
    if (!setAddress(SIOCSIFADDR, kPrivateServerHost) || !setAddress(SIOCSIFNETMASK, "255.255.255.255")) {
        error = "cannot put " + std::string(kPrivateServerHost) + " on lo: " + std::strerror(errno);
        return false;
    }
    return true;
}

PrivateRun runInPrivateNetwork(const std::string &filter)
{
    PrivateRun run;
    if (::access(kUnshare, X_OK) != 0) {
        run.skipReason = "needs unshare(1) for a private network namespace";
        return run;
    }
    const std::vector<std::string> namespaces = {"--user", "--map-root-user", "--net"};
    std::vector<std::string> probe = namespaces;
    probe.push_back("/bin/true");
    // A namespace the system refuses is no fault of the program: the probe says whether one can be made.
    std::string err;
    if (runProcess(kUnshare, probe, nullptr, &err) != 0) {
        run.skipReason = "the system allows no private user and network namespace here: " + err;
        return run;
    }
    run.possible = true;
    std::vector<std::string> args = namespaces;
    args.insert(args.end(), {selfPath(), "--gtest_filter=" + filter, "--gtest_color=no"});
    run.status = runProcess(kUnshare, args, &run.out, &run.err, {{kInsideVariable, "1"}}, std::chrono::minutes(4));
    return run;
}

} // namespace pelorix::test
