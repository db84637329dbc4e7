#include "core/Text.h"

#include <QString>
#include <gtest/gtest.h>

using namespace pelorix;

TEST(Text, Cp1252RoundTripsEveryByteThroughUtf8AndQString)
{
    std::string all;
    for (int b = 1; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(utf8ToCp1252(cp1252ToUtf8(all)), all);
    EXPECT_EQ(fromQString(toQString(all)), all);
    EXPECT_EQ(cp1252ToUtf8("\xAE"), "\xC2\xAE");
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(utf8ToCp1252("\xE2\x98\x83"), "?"); // a snowman has no Windows-1252 byte
}

TEST(Text, SplitLinesAcceptsEveryBreakForm)
{
    struct Case
    {
        std::string text;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"", {}},
        {"a", {"a"}},
        {"a\nb\n", {"a", "b"}},
        {"a\r\n\r\n", {"a", ""}},
        {"a\rb\r\nc\nd", {"a", "b", "c", "d"}},
        {"\n", {""}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(splitLines(c.text), c.lines) << c.text;
    EXPECT_EQ(joinCrLf({"a", ""}), "a\r\n");
}

TEST(Text, ParseInt32AcceptsOnlyWholeNumbers)
{
    int v = 0;
    EXPECT_TRUE(parseInt32("150", v));
    EXPECT_EQ(v, 150);
    EXPECT_TRUE(parseInt32("-1", v));
    EXPECT_EQ(v, -1);
    for (const char *bad : {"", "abc", "1.5", " 1", "1 ", "99999999999", "+-1"})
        EXPECT_FALSE(parseInt32(bad, v)) << bad;
}
