#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>

#include "dessec.h"
#include "test_support.h"

using namespace dessec_test;

// "0" then a character gives that character's value; letters count on past
// "f" up to 35 and every other byte is 255, formed into a byte in 8 bits.
TEST(HexToBytes, DigitTableAndEightBitPairs)
{
    struct Case { const char *pair; unsigned char byte; };
    const Case cases[] = {{"0a", 0x0A}, {"Ff", 0xFF}, {"0g", 16}, {"0G", 16}, {"0k", 20}, {"0z", 35},
                          {"0Z", 35}, {"0 ", 255}, {"0/", 255}, {"0:", 255}, {"0@", 255}, {"0[", 255},
                          {"0`", 255}, {"0{", 255}, {"0\x80", 255}, {"0\xff", 255}, {"zz", 0x53},
                          {"g0", 0x00}, {"?0", 0xF0}, {"??", 0xEF}};
    for (const auto &c : cases) {
        unsigned char out = 0x11;
        hex2bin(1, c.pair, &out);
        EXPECT_EQ(out, c.byte) << c.pair;
    }
}

TEST(HexToBytes, ReadsExactlyTwoCharactersPerByte)
{
    bytes out(3, 0x77);
    hex2bin(2, "0aFf9z", out.data());
    EXPECT_EQ(to_hex(out), "0aff77");
    hex2bin(1, "1", out.data());  // the NUL counts as a non-digit
    EXPECT_EQ(out[0], 0x0F);
    for (int count : {0, -1, -100}) {
        bytes untouched(2, 0x77);
        hex2bin(count, "abcd", untouched.data());
        EXPECT_EQ(untouched, bytes(2, 0x77)) << count;
    }
}

// The output may be the text itself: each byte is written after its two
// characters are read.
TEST(HexToBytes, ConvertsInPlace)
{
    char text[] = "0aFf7e9Z";
    hex2bin(4, text, reinterpret_cast<unsigned char *>(text));
    EXPECT_EQ(to_hex(reinterpret_cast<unsigned char *>(text), 4), "0aff7eb3");
    EXPECT_STREQ(text + 4, "7e9Z");

    // The reverse may not: its digits overwrite bytes not yet read.
    unsigned char in_place[7] = {0x12, 0x34, 0x56};
    bin2hex(3, in_place, reinterpret_cast<char *>(in_place));
    EXPECT_STREQ(reinterpret_cast<char *>(in_place), "113133");
}

TEST(BytesToHex, WritesLowerCaseAndANul)
{
    const bytes data = {0x0A, 0xFF, 0x00, 0x9c};
    std::string out(10, 'x');
    bin2hex(4, data.data(), out.data());
    EXPECT_EQ(out, std::string("0aff009c\0x", 10));
    for (int count : {0, -1, -7}) {
        std::string lone(4, 'x');
        bin2hex(count, data.data(), lone.data());
        EXPECT_EQ(lone, std::string("\0xxx", 4)) << count;
    }
}

TEST(HexCodec, EveryByteRoundTripsFromEitherCase)
{
    bytes all(256);
    for (int v = 0; v < 256; ++v)
        all[v] = static_cast<unsigned char>(v);
    std::string text(513, 'x');
    bin2hex(256, all.data(), text.data());
    EXPECT_EQ(text, to_hex(all) + '\0');

    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    bytes back(256);
    hex2bin(256, text.c_str(), back.data());
    EXPECT_EQ(back, all);
}
