#include "discovery/WebRequests.h"

#include "core/MasterHost.h"

#include <gtest/gtest.h>

using namespace pelorix;

TEST(WebRequests, QueryValueEscapesOnlyWhatWouldBreakTheQuery)
{
    const std::pair<std::string, std::string> cases[] = {
        {"a&b", "a%26b"},
        {"p#1", "p%231"},
        {"50%", "50%25"},
        {"a+b", "a%2Bb"},
        {"a b", "a%20b"},
        {"\x01", "%01"},
        {"\x7f", "%7F"},
        {"\xE9", "%E9"},
        {"", ""},
        {"10.0.0.5:10481", "10.0.0.5:10481"},
        {"Secret-pw_1.x~!*()=/?;@$,'", "Secret-pw_1.x~!*()=/?;@$,'"},
    };
    for (const auto &[value, expected] : cases)
        EXPECT_EQ(queryValue(value), expected) << value;
}

TEST(WebRequests, EveryRequestHasItsPathAndUserAgent)
{
    const std::string base = "http://" + MasterHost();
    const Signature sig{4711, "0123456789abcdef0123456789abcdef"};
    struct Case {
        WebRequest request;
        std::string address;
        std::string userAgent;
    };
    const Case cases[] = {
        {masterListRequest(sig), base + "/vekta4list.php?s=4711", sig.signature},
        {versionRequest(), base + "/info/ver.php?id=2&all=yes", "PELORIX"},
        {motdRequest("http://motd.example/today.txt"), "http://motd.example/today.txt", "PELORIX"},
        {listingCheckRequest(sig), base + "/vekta4/vekta4list.php?s=4711", sig.signature},
        {addServerRequest("10.1.2.3", "10481"), base + "/vekta4/vekta4add.php?server=10.1.2.3:10481", "PLX"},
        {addServerRequest("my host", "1#"), base + "/vekta4/vekta4add.php?server=my%20host:1%23", "PLX"},
        {deleteServerRequest("pw", "10.1.2.3:10481", sig),
         base + "/vekta4/vekta4delete.php?pwd=pw&server=10.1.2.3:10481&s=4711", sig.signature},
        {deleteServerRequest("a&s=1", "h:1", sig), base + "/vekta4/vekta4delete.php?pwd=a%26s=1&server=h:1&s=4711",
         sig.signature},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(c.request.address, c.address);
        EXPECT_EQ(c.request.userAgent, c.userAgent) << c.address;
    }
    EXPECT_EQ(installerAddress(), base + "/download/vekta4/PELORIX_install.exe");
}
