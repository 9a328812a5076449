#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include <openssl/bn.h>

#include "dh/dh.h"
#include "dh_texts.h"
#include "test_support.h"

using namespace dessec;
using namespace dessec_test;

namespace {

struct path_run {
    bool taken;
    std::string base, exponent, modulus;  // the texts after the call
    std::string out;                      // the whole 64-byte output, '#' where nothing was written
};

path_run run_path(std::string base, std::string exponent, std::string modulus, dh_path path)
{
    char out[64];
    std::memset(out, '#', sizeof out);
    const bool taken = dh_power(base.data(), exponent.data(), modulus.data(), out, path);
    return {taken, base, exponent, modulus, std::string(out, sizeof out)};
}

// The path and the generic one write the same bytes and leave the same texts.
void expect_same_on_both_paths(const std::string &base, const std::string &exponent, const std::string &modulus,
                               dh_path path = dh_path::fast)
{
    const path_run fast = run_path(base, exponent, modulus, path);
    ASSERT_TRUE(fast.taken) << "modulus " << modulus;
    const path_run generic = run_path(base, exponent, modulus, dh_path::generic);
    ASSERT_TRUE(generic.taken);
    EXPECT_EQ(fast.out, generic.out) << base << " ^ " << exponent << " mod " << modulus;
    EXPECT_EQ(fast.base + '|' + fast.exponent + '|' + fast.modulus,
              generic.base + '|' + generic.exponent + '|' + generic.modulus);
}

// Digits, stray characters below 0x80, or any bytes (which a byte of 0x80
// or more ends), up to 60 of them.
std::string random_text(std::mt19937_64 &rng)
{
    const std::size_t len = rng() % 61;
    switch (rng() % 4) {
    case 0:
        return random_digits(rng, len);
    case 1: {
        std::string text(len, ' ');
        for (auto &c : text)
            c = static_cast<char>(1 + rng() % 0x7F);
        return text;
    }
    case 2: {
        std::string text(len, ' ');
        for (auto &c : text)
            c = static_cast<char>(1 + rng() % 0xFF);
        return text;
    }
    default:
        return std::string(rng() % 3, '0') + random_digits(rng, rng() % 3);
    }
}

const std::string top_199 = "7f" + std::string(48, 'f');  // 2^199 - 1

}  // namespace

TEST(DhPaths, WriteTheSameForRandomTexts)
{
    auto rng = seeded_rng(30);
    for (int round = 0; round < rounds(60); ++round) {
        const bn_ptr m = random_modulus(rng, 2 + static_cast<int>(rng() % 198), true);
        std::string base = random_text(rng);
        if (rng() % 4 == 0)  // at or above the modulus
            base = random_digits(rng, rng() % 3) + printed(m.get());
        expect_same_on_both_paths(base, random_text(rng), modulus_text(rng, m.get()));
    }
}

TEST(DhPaths, WriteTheSameForUnusualTexts)
{
    struct Case { std::string base, exponent, modulus; };
    const std::string f50(50, 'f');
    const Case cases[] = {
        {"2", "1", "3"},           {"ff", f50, "3"},         {f50, "0", "3"},        {"3", "5", "3"},
        {"0", "0", "5"},           {"", "", "5"},            {"4", "2", "7"},        {"9", f50, "zz"},
        {"2", "c6", top_199},      {"2", "c7", top_199},     {top_199, "3", top_199}, {f50, f50, top_199},
        {"1" + f50, "8", top_199}, {"3", f50, std::string(48, 'f')}, {"5", f50, std::string("1").append(47, '0') + "1"},
        {"3", f50, std::string("8").append(47, '0') + "1"},         {group_modulus, "1", group_modulus},
        {"0" + group_modulus, "7", group_modulus},            {"1", f50, group_modulus},
        {f50, "3", group_modulus},                            {"100" + group_modulus, f50, group_modulus},
        {"ABCdef", "0000000000000000000000000000000000000000000000000000005", upper(group_modulus)},
        {"12\xC3" "4", "g:@ `", "00000" + group_modulus},     {"\x01\x7F[", "\x80" "5", group_modulus},
        {"3", "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06", "zz" + std::string(48, '0') + "b"},
        // The first character's stray bits reach one place above the text.
        {"5", std::string("G").append(47, '0'), group_modulus},     {"5", "!", "b"},
    };
    for (const auto &c : cases)
        expect_same_on_both_paths(c.base, c.exponent, c.modulus);
}

// Modulus 1 is odd but left to the generic path, whose exponent 0 gives 1.
TEST(DhPaths, FastPathTakesOnlyOddModuliFrom3To2To199)
{
    const std::string refused[] = {"", "0", "1", "01", "2", "6", group_modulus + "0", std::string("8").append(49, '0'),
                                   std::string("8").append(48, '0') + "1", std::string(50, 'f'), "\x80" "3"};
    for (const auto &modulus : refused) {
        const path_run run = run_path("3", "0", modulus, dh_path::fast);
        EXPECT_FALSE(run.taken) << modulus;
        EXPECT_EQ(run.out, std::string(64, '#')) << modulus;
    }
    for (const auto &modulus : {std::string("3"), std::string("zz"), top_199, group_modulus})
        EXPECT_TRUE(run_path("3", "0", modulus, dh_path::fast).taken) << modulus;
}

namespace {

// a * b + c + d from libcrypto's big numbers, a reference on every platform.
dh_wide reference_mul_add(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
{
    const auto number = [](std::uint64_t v) {
        unsigned char bytes[8];
        for (int i = 7; i >= 0; --i, v >>= 8)
            bytes[i] = static_cast<unsigned char>(v);
        return BN_bin2bn(bytes, sizeof bytes, nullptr);
    };
    BN_CTX *ctx = BN_CTX_new();
    BIGNUM *t = BN_new(), *na = number(a), *nb = number(b), *nc = number(c), *nd = number(d);
    BN_mul(t, na, nb, ctx);
    BN_add(t, t, nc);
    BN_add(t, t, nd);
    unsigned char out[16];
    BN_bn2binpad(t, out, sizeof out);
    for (BIGNUM *n : {t, na, nb, nc, nd})
        BN_free(n);
    BN_CTX_free(ctx);
    dh_wide w{0, 0};
    for (int i = 0; i < 8; ++i) {
        w.high = w.high << 8 | out[i];
        w.low = w.low << 8 | out[8 + i];
    }
    return w;
}

}  // namespace

// The 32-bit build multiplies through 32-bit halves: they must give the
// exact result, at the edges of the halves and at random.
TEST(DhWideMultiply, HalvesGiveTheExactResult)
{
    const std::uint64_t edges[] = {0, 1, 0xFFFFFFFFu, 0x100000000u, 0x8000000000000000u, ~std::uint64_t{0}};
    auto rng = seeded_rng(31);
    const auto check = [](std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d) {
        const dh_wide want = reference_mul_add(a, b, c, d), got = dh_mul_add_halves(a, b, c, d);
        if (got.low == want.low && got.high == want.high)
            return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << a << " * " << b << " + " << c << " + " << d;
    };
    for (auto a : edges)
        for (auto b : edges)
            for (auto c : edges)
                for (auto d : edges)
                    ASSERT_TRUE(check(a, b, c, d));
    for (int round = 0; round < rounds(100000); ++round)
        ASSERT_TRUE(check(rng(), rng(), rng(), rng()));
}

// The three-word steps have a portable code beside the one that uses the
// processor's carry chains where there are any; the hook turns those off
// for one test.
class PortableThreeWords : public ::testing::Test {
protected:
    void SetUp() override { dh_allow_carry_chains(false); }
    void TearDown() override { dh_allow_carry_chains(true); }
};

// Against BN_mod_exp, on texts of digits: odd moduli of up to 192 bits on
// the fast path, the group's modulus and base 3 on the fixed-base one.
void expect_bn_mod_exp_on(std::mt19937_64 &rng, BN_CTX *ctx)
{
    const bool fixed = rng() % 2 == 0;
    const bn_ptr m = fixed ? value_of(group_modulus) : random_modulus(rng, 2 + static_cast<int>(rng() % 191), true);
    const std::string base = fixed ? "3" : random_digits(rng, 1 + rng() % 50);
    const std::string exponent = random_digits(rng, rng() % 51);
    bn_ptr expected = new_bn();
    BN_mod_exp(expected.get(), value_of(base).get(), value_of(exponent).get(), m.get(), ctx);
    const dh_path path = fixed ? dh_path::fixed_base : dh_path::fast;
    const path_run run = run_path(base, exponent, modulus_text(rng, m.get()), path);
    ASSERT_TRUE(run.taken);
    const std::string want = BN_is_zero(value_of(exponent).get()) ? "01" : printed(expected.get());
    const std::size_t end = run.out.find('\0');
    EXPECT_EQ(end == std::string::npos ? "" : run.out.substr(0, end), want) << base << " ^ " << exponent;
}

TEST(DhPaths, ThreeWordAndFixedBaseStepsGiveBnModExp)
{
    auto rng = seeded_rng(32);
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(2000); ++round)
        expect_bn_mod_exp_on(rng, ctx.get());
}

TEST_F(PortableThreeWords, GiveBnModExp)
{
    auto rng = seeded_rng(33);
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(2000); ++round)
        expect_bn_mod_exp_on(rng, ctx.get());
}

// Any exponent text, the group's modulus as a caller may spell it.
TEST(DhPaths, FixedBaseWritesWhatTheGenericStepWrites)
{
    auto rng = seeded_rng(34);
    const bn_ptr m = value_of(group_modulus);
    for (int round = 0; round < rounds(20); ++round)
        expect_same_on_both_paths(round % 2 ? "3" : "0003", random_text(rng), modulus_text(rng, m.get()),
                                  dh_path::fixed_base);
}

// Only base 3 under the group's modulus; dh itself takes the step then.
TEST(DhPaths, FixedBaseTakesOnlyBase3UnderTheGroupModulus)
{
    const std::string texts[][2] = {{"4", group_modulus}, {"103", group_modulus}, {"3" + group_modulus, group_modulus},
                                    {"3", group_modulus + "1"}, {"3", "3"}, {"3", "1" + group_modulus}};
    for (const auto &t : texts)
        EXPECT_FALSE(run_path(t[0], "5", t[1], dh_path::fixed_base).taken) << t[0] << " mod " << t[1];
    EXPECT_TRUE(run_path("3", "5", "ff00" + group_modulus, dh_path::fixed_base).taken);
}

// dh's own choice of step under the group's modulus for bases other than 3,
// among them p + 3, which reduces to 3: none may reach the table of powers
// of 3.
TEST(DhPaths, GroupModulusWithOtherBasesGivesBnModExp)
{
    const bn_ptr p = value_of(group_modulus);
    bn_ptr below = new_bn(), above = new_bn(), expected = new_bn();
    BN_sub(below.get(), p.get(), BN_value_one());
    BN_copy(above.get(), p.get());
    BN_add_word(above.get(), 3);
    const std::string bases[] = {"2", "4", printed(below.get()), lower(printed(above.get()))};
    const std::string exponents[] = {"1", "2", "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06",
                                     std::string(48, 'f')};
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (const std::string &base : bases) {
        for (const std::string &exponent : exponents) {
            BN_mod_exp(expected.get(), value_of(base).get(), value_of(exponent).get(), p.get(), ctx.get());
            const path_run run = run_path(base, exponent, group_modulus, dh_path::best);
            EXPECT_EQ(run.out.substr(0, run.out.find('\0')), printed(expected.get())) << base << " ^ " << exponent;
        }
    }
}
