#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string>

#include <openssl/bn.h>

#include "dessec.h"
#include "dh/dh.h"
#include "test_support.h"

using namespace dessec;
using namespace dessec_test;

namespace {

using bn_ptr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

bn_ptr bn_of(const bytes &n) { return {BN_bin2bn(n.data(), static_cast<int>(n.size()), nullptr), BN_free}; }

bytes bytes_of(const BIGNUM *b)
{
    bytes out(dh_width);
    BN_bn2binpad(b, out.data(), dh_width);
    return out;
}

// A 25-byte number from up to 50 hex digits.
bytes num(const std::string &hex) { return from_hex(std::string(2 * dh_width - hex.size(), '0') + hex); }

class BigNumber : public ::testing::Test {
protected:
    void SetUp() override { ws->width = dh_width; }
    void set_modulus(const bytes &m) { std::memcpy(ws->modulus, m.data(), m.size()); }

    std::unique_ptr<dh_workspace> ws = std::make_unique<dh_workspace>();
};

}  // namespace

TEST_F(BigNumber, ReduceOnceSubtractsAtMostOnceAndComparesBytesUnsigned)
{
    struct Case { std::string number, modulus, out; };
    // The group's modulus less one, its last digit being "b".
    const std::string below_modulus = std::string(DESSEC_DH_MODULUS).substr(0, 47) + "a";
    const Case cases[] = {
        {DESSEC_DH_MODULUS, DESSEC_DH_MODULUS, "0"},
        {below_modulus, DESSEC_DH_MODULUS, below_modulus},
        {"1234567f80", "1234567f7f", "01"},
        {"1234567f7f", "1234567f80", "1234567f7f"},
        {"80", "7f", "01"},
        {"300", "100", "200"},
        {"ff", "0", "ff"},
    };
    for (const auto &c : cases) {
        set_modulus(num(c.modulus));
        bytes n = num(c.number);
        big_reduce_once(n.data(), *ws);
        EXPECT_EQ(n, num(c.out)) << c.number << " - " << c.modulus;
    }
}

// The one pass over all bytes decides as a scan from the top byte to the
// first difference would.
TEST_F(BigNumber, ReduceOnceDecidesAsTheTopDownScan)
{
    auto rng = seeded_rng(10);
    for (int round = 0; round < rounds(3000); ++round) {
        const bytes m = random_bytes(rng, dh_width);
        bytes n = m;
        const std::size_t from = rng() % dh_width;
        for (std::size_t i = from; i < n.size(); ++i)
            n[i] = static_cast<unsigned char>(rng() % 3 ? rng() : m[i]);
        set_modulus(m);
        const bool subtract = !std::lexicographical_compare(n.begin(), n.end(), m.begin(), m.end());
        auto expected = bn_of(n);
        if (subtract)
            BN_sub(expected.get(), expected.get(), bn_of(m).get());
        big_reduce_once(n.data(), *ws);
        EXPECT_EQ(n, bytes_of(expected.get()));
    }
}

TEST_F(BigNumber, AddMultipleWrapsAndShiftRightDropsTheLowBit)
{
    bytes n = num("0");
    big_add_multiple(n.data(), num("1").data(), -1, *ws);
    EXPECT_EQ(n, bytes(dh_width, 0xFF));
    big_add_multiple(n.data(), num("1").data(), 1, *ws);
    EXPECT_EQ(n, num("0"));
    n = num("80ff");
    big_add_multiple(n.data(), n.data(), 1, *ws);
    EXPECT_EQ(n, num("101fe"));

    struct Case { std::string in, out; };
    const Case shifts[] = {{"1", "0"}, {"100", "80"}, {"3", "1"}, {"80" + std::string(48, '0'), "40" + std::string(48, '0')}};
    for (const auto &c : shifts) {
        n = num(c.in);
        big_shift_right(n.data(), *ws);
        EXPECT_EQ(n, num(c.out)) << c.in;
    }
}

// Any 200-bit accumulator, all of its bits used, times a factor below the
// modulus; squaring when both are the same number.
TEST_F(BigNumber, MulModMatchesBnModMul)
{
    auto rng = seeded_rng(11);
    auto ctx = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(2000); ++round) {
        bytes m = random_bytes(rng, dh_width);
        const int bits = 2 + static_cast<int>(rng() % 198);
        auto modulus = bn_of(m);
        BN_mask_bits(modulus.get(), bits);
        BN_set_bit(modulus.get(), bits - 1);
        set_modulus(bytes_of(modulus.get()));

        auto factor = bn_of(random_bytes(rng, dh_width));
        BN_nnmod(factor.get(), factor.get(), modulus.get(), ctx.get());
        bytes accumulator = round % 4 == 0 ? bytes(dh_width) : random_bytes(rng, dh_width);
        const bytes f = bytes_of(factor.get());
        auto expected = bn_of(accumulator);
        BN_mod_mul(expected.get(), expected.get(), factor.get(), modulus.get(), ctx.get());
        big_mul_mod(accumulator.data(), f.data(), *ws);
        EXPECT_EQ(accumulator, bytes_of(expected.get())) << "bits " << bits;

        bytes square = f;
        BN_mod_sqr(expected.get(), factor.get(), modulus.get(), ctx.get());
        big_mul_mod(square.data(), square.data(), *ws);
        EXPECT_EQ(square, bytes_of(expected.get()));
    }
}

// Width 1, modulus 7, 3 x 10: the accumulator reaches 9 at the second bit
// and, with the multiplier's remaining bits clear, is not reduced again.
TEST_F(BigNumber, MulModReducesOnlyAfterAnAddition)
{
    ws->width = 1;
    ws->modulus[0] = 7;
    unsigned char accumulator[1] = {3};
    const unsigned char factor[1] = {10};
    big_mul_mod(accumulator, factor, *ws);
    EXPECT_EQ(accumulator[0], 9);
}

TEST_F(BigNumber, FromHexTakesEveryCharacterBelow0x80)
{
    // First character (before bit 0x20 is set), last character, value of the first.
    struct Row { int first, last, value; };
    const Row rows[] = {{0x01, 0x0F, 0xF1}, {0x10, 0x19, 0}, {0x1A, 0x1F, 10}, {0x20, 0x2F, 0xF0},
                        {'0', '9', 0},      {':', '?', 10},  {0x40, 0x40, 0x30}, {'A', 'F', 10},
                        {'G', 0x5F, 16},    {0x60, 0x60, 0x30}, {'a', 'f', 10}, {'g', 0x7F, 16}};
    for (const auto &row : rows) {
        for (int c = row.first; c <= row.last; ++c) {
            char text[2] = {static_cast<char>(c), '\0'};
            bytes n(dh_width, 0xEE);
            big_from_hex(text, n.data(), *ws);
            EXPECT_EQ(n, num(to_hex(bytes{static_cast<unsigned char>(row.value + c - row.first)}))) << c;
            EXPECT_EQ(text[0], static_cast<char>(c | 0x20));
        }
    }
}

// The parse gives what four doublings and an OR per character give, for any
// bytes and widths, texts longer than the width included.
TEST_F(BigNumber, FromHexGivesWhatFourDoublingsPerCharacterGive)
{
    auto rng = seeded_rng(12);
    for (int round = 0; round < rounds(2000); ++round) {
        ws->width = std::array{1, 2, 25, 40}[round % 4];
        std::string text(rng() % 120, ' ');
        for (auto &c : text)
            c = static_cast<char>(1 + rng() % (round % 3 ? 0x7F : 0xFF));
        std::string expected_text = text;
        bytes expected(static_cast<std::size_t>(ws->width), 0);
        for (std::size_t i = 0; static_cast<signed char>(expected_text[i]) > 0; ++i) {
            for (int doubling = 0; doubling < 4; ++doubling)
                big_add_multiple(expected.data(), expected.data(), 1, *ws);
            expected_text[i] = static_cast<char>(expected_text[i] | 0x20);
            const auto c = static_cast<unsigned char>(expected_text[i]);
            expected.back() |= static_cast<unsigned char>(c - 0x30 - (c > 0x60 ? 0x27 : 0));
        }
        bytes n(expected.size(), 0xEE);
        big_from_hex(text.data(), n.data(), *ws);
        EXPECT_EQ(n, expected) << to_hex(bytes(text.begin(), text.end()));
        EXPECT_EQ(text, expected_text);
    }
}
