#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include <openssl/bn.h>
#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "common/scratch.h"
#include "dessec.h"
#include "dh/dh.h"
#include "dh_texts.h"
#include "test_support.h"

using namespace dessec_test;

namespace {


struct dh_run {
    std::string base, exponent, modulus;  // the texts after the call
    std::string out;                      // the text written; empty when nothing was
};

// Calls dh on copies of the texts with a 64-byte output of '#', and checks
// that nothing was written past the text's NUL.
dh_run run_dh(std::string base, std::string exponent, std::string modulus)
{
    char out[64];
    std::memset(out, '#', sizeof out);
    dh(base.data(), exponent.data(), modulus.data(), out);
    const std::size_t len = strnlen(out, sizeof out);
    // A zero result leaves the output untouched: not even a NUL is written.
    EXPECT_NE(len, 0u) << "an empty text was written";
    const std::size_t rest = len == sizeof out ? 0 : len + 1;
    EXPECT_EQ(std::string(out + rest, sizeof out - rest), std::string(sizeof out - rest, '#'));
    return {base, exponent, modulus, len == sizeof out ? "" : std::string(out, len)};
}

struct key_pair {
    int status;
    std::string secret_buffer, public_buffer;  // 64 bytes each, '#' before the call
    std::string secret() const { return secret_buffer.c_str(); }
    std::string public_key() const { return public_buffer.c_str(); }
};

key_pair make_key_pair()
{
    key_pair k{0, std::string(64, '#'), std::string(64, '#')};
    k.status = dh_keysGenerator(k.secret_buffer.data(), k.public_buffer.data());
    return k;
}

// Lower-case hex digits, the buffer cleared after them up to byte 49 and untouched beyond.
void expect_key_text(const std::string &buffer, std::size_t min_len, std::size_t max_len)
{
    const std::string text = buffer.c_str();
    EXPECT_GE(text.size(), min_len);
    EXPECT_LE(text.size(), max_len);
    EXPECT_EQ(text.size() % 2, 0u);
    EXPECT_EQ(text.find_first_not_of("0123456789abcdef"), std::string::npos) << text;
    EXPECT_EQ(buffer.substr(text.size(), DESSEC_KEY_BUFFER - text.size()), std::string(DESSEC_KEY_BUFFER - text.size(), '\0'));
    EXPECT_EQ(buffer.substr(DESSEC_KEY_BUFFER), std::string(64 - DESSEC_KEY_BUFFER, '#'));
}

int failing_bytes(unsigned char *, int) { return 0; }
int failing_status() { return 0; }

// A random modulus of 2 to 199 bits, odd or even, against texts of digits
// in either case and of any length.
void expect_bn_mod_exp_result(std::mt19937_64 &rng, BN_CTX *ctx, bool odd)
{
    const int bits = 2 + static_cast<int>(rng() % 198);
    const bn_ptr m = random_modulus(rng, bits, odd);
    const std::string base = random_digits(rng, 1 + rng() % 60);
    std::string exponent = random_digits(rng, 1 + rng() % 60);
    if (BN_is_zero(value_of(exponent).get()))
        exponent += "1";
    const std::string modulus = modulus_text(rng, m.get());

    bn_ptr expected = new_bn();
    BN_mod_exp(expected.get(), value_of(base).get(), value_of(exponent).get(), m.get(), ctx);
    const dh_run run = run_dh(base, exponent, modulus);
    EXPECT_EQ(run.out, printed(expected.get())) << base << " ^ " << exponent << " mod " << modulus;
    EXPECT_EQ(run.base, lower(base));
    EXPECT_EQ(run.exponent, lower(exponent));
    EXPECT_EQ(run.modulus, lower(modulus));
}

}  // namespace

// Odd moduli take the fast path, even ones the bit-serial arithmetic.
TEST(DhAgainstOpenSsl, ModularPowerOfRandomTextsUnderOddModuli)
{
    auto rng = seeded_rng(20);
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(3000); ++round)
        expect_bn_mod_exp_result(rng, ctx.get(), true);
}

TEST(DhAgainstOpenSsl, ModularPowerOfRandomTextsUnderEvenModuli)
{
    auto rng = seeded_rng(22);
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(40); ++round)
        expect_bn_mod_exp_result(rng, ctx.get(), false);
}

// A peer's public key at or above the modulus is reduced in full first, so
// the result is the modular power and fits the 49 bytes of a common key.
TEST(DhAgainstOpenSsl, BaseAtOrAboveTheModulusGivesThePowerOfItsRemainder)
{
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    const bn_ptr m = value_of(group_modulus);
    const std::string exponent = "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06";
    const std::string bases[] = {group_modulus, std::string("9") + group_modulus, std::string(50, 'f'), std::string("1") + std::string(49, '0')};
    for (const auto &base : bases) {
        bn_ptr expected = new_bn();
        BN_mod_exp(expected.get(), value_of(base).get(), value_of(exponent).get(), m.get(), ctx.get());
        const dh_run run = run_dh(base, exponent, group_modulus);
        EXPECT_EQ(run.out, printed(expected.get())) << base;
        EXPECT_LE(run.out.size(), 48u);
    }
}

// Above 2^199 the doublings of the exponentiation pass the width, so only the
// full reduction of the base is exact: exponent 1 gives base mod modulus, and
// any exponent a value below the modulus.
TEST(DhAgainstOpenSsl, ModuliOf2To199AndAboveReduceTheBaseInFull)
{
    auto rng = seeded_rng(21);
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    for (int round = 0; round < rounds(16); ++round) {
        const bn_ptr m = random_modulus(rng, 200, round % 2);
        const std::string base = random_digits(rng, 40 + rng() % 20);
        bn_ptr remainder = new_bn();
        BN_nnmod(remainder.get(), value_of(base).get(), m.get(), ctx.get());
        EXPECT_EQ(run_dh(base, "1", printed(m.get())).out, printed(remainder.get()));

        const dh_run run = run_dh(base, random_digits(rng, 48), printed(m.get()));
        EXPECT_LT(BN_cmp(value_of(run.out).get(), m.get()), 0) << run.out;
    }
}

TEST(DhRules, ExponentZeroModulusZeroOrOneAndZeroResults)
{
    struct Case { std::string base, exponent, modulus, out; };
    const Case cases[] = {
        {"3", "", group_modulus, "01"},
        {"3", "0", group_modulus, "01"},
        {"0", "000", "1", "01"},
        {"123", "0", "", "01"},
        {"0", "5", group_modulus, ""},
        {"", "5", group_modulus, ""},
        {"7", "5", "1", ""},
        {"2", "c7", "", "80" + std::string(48, '0')},
        {"2", "c8", "", ""},
        {"3", "10", "", "0290D741"},
        {"3", "10", "6", "03"},
        {"3", "10", "zz", "0130"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(run_dh(c.base, c.exponent, c.modulus).out, c.out) << c.base << " ^ " << c.exponent << " mod " << c.modulus;
}

// With exponent 1 and modulus "" the output is the base's value as read.
TEST(DhRules, TextsAreReadAndWrittenByCharacter)
{
    struct Case { std::string base, out, after; };
    const std::string top = "7F" + std::string(46, '0') + "AB";
    const Case cases[] = {
        {"\x01", "F1", "!"},     {"\x15", "05", "5"},   {" ", "F0", " "},      {":", "0A", ":"},
        {"@", "30", "`"},        {"`", "30", "`"},      {"F", "0F", "f"},      {"[", "24", "{"},
        {"\x7F", "28", "\x7F"},  {"1g", "10", "1g"},    {"0", "", "0"},        {"\x80", "", "\x80"},
        {"12\xC3" "4", "12", "12\xC3" "4"},             {"A\x80" "B", "0A", "a\x80" "B"},
        {"1", "01", "1"},        {"aBc", "0ABC", "abc"}, {"0x1", "0211", "0x1"}, {top, top, lower(top)}, {"FF" + top, top, "ff" + lower(top)},
    };
    for (const auto &c : cases) {
        const dh_run run = run_dh(c.base, "1", "");
        EXPECT_EQ(run.out, c.out) << c.base;
        EXPECT_EQ(run.base, c.after);
    }
}

// Lower-case texts are only read: here they sit on a read-only page.
TEST(DhRules, LowerCaseTextsMayBeReadOnly)
{
    memory_page page;
    char *texts = page.data();
    ASSERT_NE(texts, nullptr);
    std::strcpy(texts, "3");
    std::strcpy(texts + 8, "1g");
    std::strcpy(texts + 16, group_modulus.c_str());
    ASSERT_TRUE(page.make_read_only());
    char out[64] = {};
    dh(texts, texts + 8, texts + 16, out);
    EXPECT_STREQ(out, "0290D741");
}

TEST(DhKeys, PublicKeyIsThreeToTheSecretInLowerCase)
{
    const key_pair k = make_key_pair();
    ASSERT_EQ(k.status, 0);
    expect_key_text(k.secret_buffer, DESSEC_SECRET_KEY_DIGITS, DESSEC_SECRET_KEY_DIGITS);
    expect_key_text(k.public_buffer, 2, DESSEC_SECRET_KEY_DIGITS);
    EXPECT_EQ(lower(run_dh("3", k.secret(), group_modulus).out), k.public_key());
    EXPECT_EQ(run_dh(k.public_key(), "1", group_modulus).out, printed(value_of(k.public_key()).get()));
}

TEST(DhKeys, TwoKeyPairsAgreeOnACommonKey)
{
    const key_pair a = make_key_pair(), b = make_key_pair();
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    const std::string ab = run_dh(b.public_key(), a.secret(), group_modulus).out;
    EXPECT_EQ(ab, run_dh(a.public_key(), b.secret(), group_modulus).out);
    EXPECT_GE(ab.size(), 2u);
    EXPECT_LE(ab.size(), 48u);
}

// Keys made within one second differ: the secret is not a function of the clock.
TEST(DhKeys, HundredKeyPairsInARowAreDistinct)
{
    const int pairs = std::max(2, rounds(100));
    std::set<std::string> secrets, public_keys;
    for (int i = 0; i < pairs; ++i) {
        const key_pair k = make_key_pair();
        ASSERT_EQ(k.status, 0);
        secrets.insert(k.secret());
        public_keys.insert(k.public_key());
    }
    EXPECT_EQ(secrets.size(), static_cast<std::size_t>(pairs));
    EXPECT_EQ(public_keys.size(), static_cast<std::size_t>(pairs));
}

TEST(DhKeys, CLibraryGeneratorIsNeitherSeededNorDrawnFrom)
{
    std::srand(4242);
    const int first[3] = {std::rand(), std::rand(), std::rand()};
    std::srand(4242);
    ASSERT_EQ(make_key_pair().status, 0);
    const int then[3] = {std::rand(), std::rand(), std::rand()};
    EXPECT_TRUE(std::equal(first, first + 3, then));
}

// libcrypto's generator failing, the key pair comes from the system's.
TEST(DhKeys, FailingLibcryptoGeneratorFallsBackToTheSystems)
{
    RAND_METHOD failing{};
    failing.bytes = failing_bytes;
    failing.status = failing_status;
    const RAND_METHOD *saved = RAND_get_rand_method();
    ASSERT_EQ(RAND_set_rand_method(&failing), 1);
    const key_pair a = make_key_pair(), b = make_key_pair();
    RAND_set_rand_method(saved);
    ASSERT_EQ(a.status, 0);
    ASSERT_EQ(b.status, 0);
    expect_key_text(a.secret_buffer, DESSEC_SECRET_KEY_DIGITS, DESSEC_SECRET_KEY_DIGITS);
    EXPECT_NE(a.secret(), b.secret());
    EXPECT_EQ(lower(run_dh("3", a.secret(), group_modulus).out), a.public_key());
}

// The secret is drawn over all 192 bits and kept as drawn: about one in six
// is at or above the modulus, and its public key is 3 to the whole secret.
TEST(DhKeys, SecretIsUniformOver192BitsAndNotReduced)
{
    ctx_ptr ctx(BN_CTX_new(), BN_CTX_free);
    const bn_ptr m = value_of(group_modulus), three = value_of("3");
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        const key_pair k = make_key_pair();
        ASSERT_EQ(k.status, 0);
        const bn_ptr secret = value_of(k.secret());
        if (BN_cmp(secret.get(), m.get()) < 0)
            continue;
        seen = true;
        bn_ptr expected = new_bn();
        BN_mod_exp(expected.get(), three.get(), secret.get(), m.get(), ctx.get());
        EXPECT_EQ(k.public_key(), lower(printed(expected.get())));
    }
    EXPECT_TRUE(seen) << "no secret at or above the modulus in 200 key pairs";
}

TEST(DhKeys, AllocationFailureWritesNothingAndLeavesThePublicKeyEmpty)
{
    dessec::scratch_fail_after(0);
    const dh_run run = run_dh("ABC", "1F", "D4");
    dessec::scratch_fail_after(0);
    const key_pair k = make_key_pair();
    dessec::scratch_fail_after(-1);

    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.base + run.exponent + run.modulus, "ABC1FD4");
    EXPECT_EQ(k.status, -1);
    expect_key_text(k.secret_buffer, DESSEC_SECRET_KEY_DIGITS, DESSEC_SECRET_KEY_DIGITS);
    EXPECT_EQ(k.public_buffer, std::string(DESSEC_KEY_BUFFER, '\0') + std::string(64 - DESSEC_KEY_BUFFER, '#'));
}

// Key generation works on copies of the header's read-only texts: they
// keep their value, and the keys are those of the group they name, whatever
// the case a caller writes the modulus in.
TEST(DhKeys, GroupTextsAreCopiedNotRewritten)
{
    const key_pair k = make_key_pair();
    ASSERT_EQ(k.status, 0);
    EXPECT_STREQ(DESSEC_DH_BASE, "3");
    EXPECT_EQ(group_modulus, DESSEC_DH_MODULUS);
    EXPECT_EQ(lower(run_dh(DESSEC_DH_BASE, k.secret(), upper(group_modulus)).out), k.public_key());
}
