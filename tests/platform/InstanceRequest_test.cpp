#include "platform/InstanceRequest.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace pelorix;
using Status = InstanceRequest::Status;

namespace
{

std::string header(std::uint32_t size)
{
    return {static_cast<char>(size >> 24), static_cast<char>(size >> 16), static_cast<char>(size >> 8),
            static_cast<char>(size)};
}

std::string request(const std::string &body)
{
    return header(static_cast<std::uint32_t>(body.size())) + body;
}

constexpr std::size_t kBodyLimit = kInstanceRequestLimit - kInstanceRequestHeaderSize;

} // namespace

TEST(InstanceRequest, ArgumentsGoThereAndBack)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"safe"},
        {"SAFE", "two words", ""},
        {"J\xC3\xA9r\xC3\xB4me", "\x80\xFF"},
    };
    for (const auto &arguments : cases) {
        const InstanceRequest read = readInstanceRequest(encodeInstanceRequest(arguments));
        EXPECT_EQ(read.status, Status::Complete);
        EXPECT_EQ(read.arguments, arguments);
    }
    EXPECT_EQ(encodeInstanceRequest({"ab"}), std::string("\0\0\0\3ab\0", 7));
}

TEST(InstanceRequest, ReadsWhatHasArrivedSoFar)
{
    struct Case {
        const char *what;
        std::string bytes;
        Status status;
        std::vector<std::string> arguments;
    };
    const Case cases[] = {
        {"nothing yet", "", Status::Incomplete, {}},
        {"part of the length", std::string("\0\0", 2), Status::Incomplete, {}},
        {"the length alone", header(3), Status::Incomplete, {}},
        {"part of the body", header(3) + "ab", Status::Incomplete, {}},
        {"no arguments", header(0), Status::Complete, {}},
        {"empty arguments", request(std::string("\0\0", 2)), Status::Complete, {"", ""}},
        {"an argument without its zero byte", request("ab"), Status::Invalid, {}},
        {"bytes after the request", request(std::string("a\0", 2)) + "x", Status::Invalid, {}},
        {"a body that fills the limit",
         request(std::string(kBodyLimit - 1, 'x') + '\0'),
         Status::Complete,
         {std::string(kBodyLimit - 1, 'x')}},
        // Refused on the length alone: nothing waits for, or makes room for, a body that size.
        {"one byte past the limit", header(kBodyLimit + 1), Status::Invalid, {}},
        {"a length of 4 GiB", header(0xFFFFFFFF), Status::Invalid, {}},
        {"as many arguments as allowed", request(std::string(kInstanceRequestMaxArguments, '\0')), Status::Complete,
         std::vector<std::string>(kInstanceRequestMaxArguments)},
        {"one argument too many", request(std::string(kInstanceRequestMaxArguments + 1, '\0')), Status::Invalid, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const InstanceRequest read = readInstanceRequest(c.bytes);
        EXPECT_EQ(read.status, c.status);
        EXPECT_EQ(read.arguments, c.arguments);
    }
}

TEST(InstanceRequest, WhatDoesNotFitIsLeftOut)
{
    const std::string big(kBodyLimit - 2, 'x'); // with its zero byte, one byte short of the limit
    struct Case {
        const char *what;
        std::vector<std::string> arguments;
        std::vector<std::string> sent;
    };
    const Case cases[] = {
        {"up to the limit", {big, ""}, {big, ""}},
        {"past the limit, and all after it", {big, "a", ""}, {big}},
        {"one argument too long", {std::string(kBodyLimit, 'x'), "next"}, {}},
        {"past the count", std::vector<std::string>(kInstanceRequestMaxArguments + 1, "a"),
         std::vector<std::string>(kInstanceRequestMaxArguments, "a")},
        {"a zero byte inside", {std::string("cut\0here", 8), "next"}, {"cut", "next"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string bytes = encodeInstanceRequest(c.arguments);
        EXPECT_LE(bytes.size(), kInstanceRequestLimit);
        const InstanceRequest read = readInstanceRequest(bytes);
        EXPECT_EQ(read.status, Status::Complete);
        EXPECT_EQ(read.arguments, c.sent);
    }
}
