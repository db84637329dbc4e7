#include "discovery/RequestSignature.h"

#include <gtest/gtest.h>

using namespace pelorix;

TEST(RequestSignature, Md5MatchesTheRfc1321TestSuite)
{
    const std::pair<std::string, std::string> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto &[input, digest] : cases)
        EXPECT_EQ(Md5Hex(input), digest) << input;
    EXPECT_EQ(Md5Hex("abc", true), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(Md5Hex(std::string("\0\xff", 2)), "d07d34efac6328007ad67c7e0a985e00");
}

TEST(RequestSignature, SignsTheDecimalNumberFollowedByTheSuffix)
{
    EXPECT_EQ(SignatureFor(0), "69cb45889f120bbb280b175f3d60f880"); // MD5 of "0V"
    EXPECT_EQ(SignatureFor(99999998), Md5Hex(std::string("99999998") + kSignatureSuffix));
}

TEST(RequestSignature, NumbersStayBelow99999999AndCarryTheirOwnSignature)
{
    int highest = -1;
    int lowest = 99999999;
    for (int i = 0; i < 20000; ++i) {
        const Signature s = RequestSignature(i % 1000 == 0);
        ASSERT_GE(s.number, 0);
        ASSERT_LE(s.number, 99999998);
        highest = std::max(highest, s.number);
        lowest = std::min(lowest, s.number);
        if (i % 997 == 0) {
            EXPECT_EQ(s.signature, SignatureFor(s.number));
        }
    }
    EXPECT_LT(lowest, highest); // the draws are not all one number
}
