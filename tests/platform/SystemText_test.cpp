#include "platform/SystemText.h"

#include <gtest/gtest.h>

#include <string>

using namespace pelorix;

TEST(SystemText, AsciiCaseChangesOnlyTheLettersAToZ)
{
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    const std::string lower = asciiLower(all);
    const std::string upper = asciiUpper(all);
    ASSERT_EQ(lower.size(), all.size());
    ASSERT_EQ(upper.size(), all.size());
    for (int b = 0; b < 256; ++b) {
        const bool capital = b >= 'A' && b <= 'Z';
        const bool small = b >= 'a' && b <= 'z';
        EXPECT_EQ(static_cast<unsigned char>(lower[b]), capital ? b + 32 : b) << b;
        EXPECT_EQ(static_cast<unsigned char>(upper[b]), small ? b - 32 : b) << b;
    }
}

TEST(SystemText, EqualsIgnoringAsciiCase)
{
    struct Case {
        std::string_view a;
        std::string_view b;
        bool equal;
    };
    const Case cases[] = {
        {"", "", true},
        {"Content-Length", "content-LENGTH", true},
        {"HTTP://", "http://", true},
        {"abc", "abcd", false},
        {"abcd", "abc", false},
        {"a-b", "a_b", false},
        {"@", "`", false},       // one apart like a letter pair, but not letters
        {"\xC9", "\xE9", false}, // É and é: not ASCII, so not the same
        {std::string_view("a\0b", 3), std::string_view("A\0B", 3), true},
    };
    for (const auto &c : cases) {
        EXPECT_EQ(equalsIgnoringAsciiCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
        EXPECT_EQ(equalsIgnoringAsciiCase(c.b, c.a), c.equal) << c.b << " / " << c.a;
    }
}

TEST(SystemText, Windows1252BytesAndTheirUtf8)
{
    EXPECT_EQ(windows1252CodePoint('A'), U'A');
    EXPECT_EQ(windows1252CodePoint(0x80), U'\u20AC');
    EXPECT_EQ(windows1252CodePoint(0x81), U'\u0081'); // undefined in Windows-1252: keeps its C1 code
    EXPECT_EQ(windows1252CodePoint(0x9F), U'\u0178');
    EXPECT_EQ(windows1252CodePoint(0xA0), U'\u00A0');
    EXPECT_EQ(windows1252CodePoint(0xFF), U'\u00FF');
    EXPECT_EQ(windowsTextToSystem("caf\xE9 \x80 \x9F"), "caf\xC3\xA9 \xE2\x82\xAC \xC5\xB8");
}
