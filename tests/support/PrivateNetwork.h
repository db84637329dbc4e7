#pragma once

// A private user and network namespace for the tests that need an address that is not local: the test program runs
// chosen tests of its own again inside one, where loopback is up and kPrivateServerHost/32 sits on it. Nothing sent
// there leaves the namespace.

#include <string>

namespace pelorix::test
{

inline constexpr char kPrivateServerHost[] = "10.77.0.1";

// True in the copy of the test program that runs inside the namespace.
bool insidePrivateNetwork();

// Puts loopback up and kPrivateServerHost on it, in the namespace this process runs in.
bool setUpPrivateNetwork(std::string &error);

struct PrivateRun {
    bool possible = false; // false: the system allows no such namespace here (skipReason says why)
    std::string skipReason;
    int status = -1;
    std::string out;
    std::string err;
};

// Runs this test program again inside a new namespace with --gtest_filter=filter.
PrivateRun runInPrivateNetwork(const std::string &filter);

} // namespace pelorix::test
