#include "core/Text.h"

#include <QString>
#include <gtest/gtest.h>

#include <cstdint>

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
    struct Case {
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

TEST(Text, NormalizeLineBreaksIsTheJoinOfTheSplitLines)
{
    struct Case {
        std::string text;
        std::string normalized;
    };
    const Case cases[] = {
        {"", ""},
        {"\n", ""},
        {"\r\n", ""},
        {"a\nb\n", "a\r\nb"},
        {"a\r\n\r\n", "a\r\n"}, // the empty last line keeps its break; only the final break goes
        {"a\r\r", "a\r\n"},
        {"a\n\r", "a\r\n"},
        {"a\rb\r\nc\nd", "a\r\nb\r\nc\r\nd"},
        {"\n\r\n\r\n\nx", "\r\n\r\n\r\n\r\nx"},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(normalizeLineBreaks(c.text), c.normalized) << c.text;
        EXPECT_EQ(normalizeLineBreaks(c.text), joinCrLf(splitLines(c.text))) << c.text;
    }
    // A text of nothing but line feeds: one CR LF fewer than there were breaks.
    const std::string feeds(1'000'000, '\n');
    const std::string out = normalizeLineBreaks(feeds);
    ASSERT_EQ(out.size(), 2 * (feeds.size() - 1));
    EXPECT_EQ(out.find_first_not_of("\r\n"), std::string::npos);
    EXPECT_EQ(out.find("\n\n"), std::string::npos);
    EXPECT_EQ(out.find("\r\r"), std::string::npos);
}

TEST(Text, BoundedSplitStopsAtItsLimits)
{
    constexpr std::size_t kAny = SIZE_MAX;
    struct Case {
        std::string text;
        std::size_t maxLines;
        std::size_t maxTextBytes;
        std::vector<std::string> lines;
        bool cut;
    };
    const Case cases[] = {
        {"a\nb\nc", 3, kAny, {"a", "b", "c"}, false},
        {"a\nb\nc\r\n", 3, kAny, {"a", "b", "c"}, false}, // the final break is no fourth line
        {"a\nb\nc\nd", 3, kAny, {"a", "b", "c"}, true},
        {"a\nb\nc\n\n", 3, kAny, {"a", "b", "c"}, true}, // an empty fourth line is more text
        {"\n\n\n\n\n", 2, kAny, {"", ""}, true},
        {"", 0, kAny, {}, false},
        {"a", 0, kAny, {}, true},
        {"ab\ncd\nef", kAny, 4, {"ab", "cd"}, true}, // a line the byte limit would cut is not kept
        {"ab\ncd\n\n\nef", kAny, 4, {"ab", "cd", "", ""}, true},
        {"ab\ncd\r\n", kAny, 4, {"ab", "cd"}, false}, // breaks do not count
        {"abcde", kAny, 4, {}, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.text + " lines " + std::to_string(c.maxLines) + " bytes " + std::to_string(c.maxTextBytes));
        bool cut = !c.cut;
        EXPECT_EQ(splitLines(c.text, c.maxLines, c.maxTextBytes, &cut), c.lines);
        EXPECT_EQ(cut, c.cut);

        // The same text fed in pieces of every size, a CR LF split between two pieces included, gives the
        // same lines; once a limit is reached the splitter takes nothing more.
        for (std::size_t size = 1; size <= c.text.size(); ++size) {
            SCOPED_TRACE(size);
            BoundedLineSplitter splitter(c.maxLines, c.maxTextBytes);
            bool taking = true;
            for (std::size_t at = 0; at < c.text.size(); at += size) {
                const bool took = splitter.feed(std::string_view(c.text).substr(at, size));
                EXPECT_TRUE(taking || !took);
                taking = took;
            }
            EXPECT_EQ(taking, !c.cut);
            EXPECT_EQ(splitter.cut(), c.cut);
            EXPECT_EQ(splitter.finish(), c.lines);
        }
    }
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

TEST(Text, TrimBlanksTakesOnlySpacesAndTabsAtTheEnds)
{
    struct Case {
        std::string_view text;
        std::string_view both;
        std::string_view trailing;
    };
    const Case cases[] = {
        {"", "", ""},
        {" \t \t", "", ""},
        {"value", "value", "value"},
        {" \tvalue\t ", "value", " \tvalue"},
        {"a b\tc", "a b\tc", "a b\tc"},          // blanks inside stay
        {"\r\nx\r\n", "\r\nx\r\n", "\r\nx\r\n"}, // line breaks are not blanks
        {"\xA0x\xA0", "\xA0x\xA0", "\xA0x\xA0"}, // nor is the no-break space byte
    };
    for (const auto &c : cases) {
        EXPECT_EQ(trimBlanks(c.text), c.both) << '"' << c.text << '"';
        EXPECT_EQ(trimTrailingBlanks(c.text), c.trailing) << '"' << c.text << '"';
    }
}
