#include "admin/AddressCheck.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

using namespace pelorix;

namespace
{

TEST(AddressCheck, ReadsFourWholeNumbersFromZeroTo255)
{
    struct Case {
        std::string text;
        std::optional<Ipv4Octets> octets;
    };
    const Case cases[] = {
        {"1.2.3.4", Ipv4Octets{1, 2, 3, 4}},
        {"1.2.3.4.", Ipv4Octets{1, 2, 3, 4}}, // a dot at the end leaves no fifth part
        {"0.0.0.0", Ipv4Octets{0, 0, 0, 0}},
        {"255.255.255.255", Ipv4Octets{255, 255, 255, 255}},
        {"010.001.000.9", Ipv4Octets{10, 1, 0, 9}},
        {"10.77.0.1", Ipv4Octets{10, 77, 0, 1}},
        {"1.2.3", std::nullopt},
        {"1.2.3.", std::nullopt},
        {"1.2.3.4.5", std::nullopt},
        {"1.2.3.4..", std::nullopt},
        {"1..2.3", std::nullopt},
        {".1.2.3.4", std::nullopt},
        {"256.1.1.1", std::nullopt},
        {"1.2.3.256", std::nullopt},
        {"1.2.3.99999999999999999999", std::nullopt},
        {" 1.2.3.4", std::nullopt},
        {"1.2.3.4 ", std::nullopt},
        {"1.2.3.4:5", std::nullopt},
        {"+1.2.3.4", std::nullopt},
        {"-1.2.3.4", std::nullopt},
        {"1.2.3.0x4", std::nullopt},
        {"1.2.3.\xD9\xA4", std::nullopt},     // an Arabic-Indic four in UTF-8
        {"1.2.3.\xEF\xBC\x94", std::nullopt}, // a full-width four
        {"1.2.3.\xB2", std::nullopt},         // the Windows-1252 superscript two
        {"", std::nullopt},
        {".", std::nullopt},
        {"localhost", std::nullopt},
        {std::string(4000, '1'), std::nullopt},
        {"1.2.3." + std::string(4000, '0') + "4", Ipv4Octets{1, 2, 3, 4}},
        {std::string("1.2.3.4\0", 8), std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text.substr(0, 40));
        EXPECT_EQ(checkServerAddress(c.text), c.octets);
        EXPECT_EQ(IsValidServerAddress(c.text), c.octets.has_value());
    }
}

TEST(AddressCheck, LocalByTheFirstThreeCharacters)
{
    struct Case {
        const char *text;
        bool local;
    };
    const Case cases[] = {
        {"127.0.0.1", true},  {"127.255.1.1", true}, {"192.0.2.10", true},  {"192.168.1.1", true}, {"1920.1.1.1", true},
        {"10.1.1.1", false},  {"10.0.0.1", false},   {"172.16.0.1", false}, {"12.7.0.1", false},   {"19.2.0.1", false},
        {"1.127.0.1", false}, {"", false},           {"12", false},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsLocalServerAddress(c.text), c.local);
    }
}

TEST(AddressCheck, ListHoldsTheLineOnlyWhole)
{
    struct Case {
        std::string list;
        bool holds;
    };
    const std::string line = "1.2.3.4:10481";
    const Case cases[] = {
        {"1.2.3.4:10481", true},
        {"5.6.7.8:10481\r\n1.2.3.4:10481\r\n", true},
        {"5.6.7.8:10481\n1.2.3.4:10481", true},
        {"5.6.7.8:10481\r1.2.3.4:10481\r", true},
        {"\r\n\r\n1.2.3.4:10481", true},
        {"1.2.3.4:104810", false}, // a longer port
        {"11.2.3.4:10481", false}, // a longer address
        {" 1.2.3.4:10481", false}, // blanks count
        {"1.2.3.4:10481 \r\n", false},
        {"1.2.3.4:1048", false},
        {"", false},
        {"\r\n", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(ListHoldsLine(c.list, line), c.holds) << c.list;
}

TEST(AddressCheck, QuickAddTakesTheJoinPortAndRemovesBlanks)
{
    struct Case {
        std::string answer;
        std::string address;
        std::optional<long long> queryPort;
    };
    const Case cases[] = {
        {"1.2.3.4:10480", "1.2.3.4", 10481},
        {"1.2.3.4 : 10480", "1.2.3.4", 10481},
        {"  1 . 2.3.4:1 0 4 8 0  ", "1.2.3.4", 10481},
        {"1.2.3.4:0", "1.2.3.4", 1},
        {"1.2.3.4:65535", "1.2.3.4", 65536},
        {"1.2.3.4:2147483647", "1.2.3.4", 2147483648LL},
        {"a:b:7", "a", std::nullopt},  // the port text is everything after the first colon
        {"1.2.3.4", "", std::nullopt}, // no colon: the whole line is the port text
        {"10480", "", 10481},
        {"1.2.3.4:", "1.2.3.4", std::nullopt},
        {"1.2.3.4:99999999999", "1.2.3.4", std::nullopt},
        {"1.2.3.4:" + std::string(300, '1'), "1.2.3.4", std::nullopt},
        {"1.2.3.4:\t10480", "1.2.3.4", std::nullopt}, // only blanks go, a tab stays
        {"", "", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.answer);
        const QuickAddEntry entry = parseQuickAdd(c.answer);
        EXPECT_EQ(entry.address, c.address);
        EXPECT_EQ(entry.queryPort, c.queryPort);
    }
}

TEST(AddressCheck, ProgressLineRunsSevenFramesAndStartsOver)
{
    const std::string cycle[] = {
        "Adding server .",         "Adding server . .",       "Adding server . . .", "Adding server . . . .",
        "Adding server . . . . .", "Adding server . . . . .", "Adding server ",
    };
    ProgressLine line;
    for (int round = 0; round < 2; ++round) {
        for (int i = 0; i < 7; ++i) {
            SCOPED_TRACE("round " + std::to_string(round) + " tick " + std::to_string(i));
            EXPECT_EQ(line.tick(), cycle[i]);
            EXPECT_EQ(line.counter(), (i + 1) % 7);
        }
    }
}

} // namespace
