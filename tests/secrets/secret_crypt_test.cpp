#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <openssl/des.h>

#include "common/scratch.h"
#include "dessec.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

using text_call = int (*)(char *, const char *);

struct outcome {
    int result;
    std::string text;
    bool operator==(const outcome &) const = default;
};

void PrintTo(const outcome &o, std::ostream *os) { *os << o.result << " \"" << o.text << '"'; }

outcome run(text_call call, const std::string &text, const std::string &passwd)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    const int result = call(buffer.data(), passwd.c_str());
    return {result, buffer.data()};
}

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::tolower(c); });
    return s;
}

std::string random_hex(std::mt19937_64 &rng, std::size_t len)
{
    static const char digits[] = "0123456789abcdefABCDEF";
    std::string s(len, '0');
    for (auto &c : s)
        c = digits[rng() % 22];
    return s;
}

std::string random_password(std::mt19937_64 &rng)
{
    std::string s(rng() % 13, 'x');
    for (auto &c : s)
        c = static_cast<char>(1 + rng() % 255);
    return s;
}

// DES-CBC from a zero vector by OpenSSL, under the key made of the low six
// bits of the first 8 password characters, moved up by one, with odd parity.
std::string openssl_cbc_hex(const std::string &hex, const std::string &passwd, int enc)
{
    DES_cblock key = {}, iv = {};
    for (std::size_t i = 0; i < 8 && i < passwd.size(); ++i)
        key[i] = static_cast<unsigned char>((static_cast<unsigned char>(passwd[i]) << 1) & 0x7E);
    DES_set_odd_parity(&key);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key, &schedule);
    bytes data = from_hex(hex);
    DES_ncbc_encrypt(data.data(), data.data(), static_cast<long>(data.size()), &schedule, &iv, enc);
    return to_hex(data);
}

std::string make_record(const std::string &key, const std::string &more, const std::string &passwd)
{
    const outcome sealed = run(xencrypt, key + key.substr(0, 16) + more, passwd);
    EXPECT_EQ(sealed.result, 1);
    return sealed.text;
}

const std::string secret_key = "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778";

// Disarms the allocation hook however a test ends.
struct failing_allocation {
    explicit failing_allocation(long after) { dessec::scratch_fail_after(after); }
    ~failing_allocation() { dessec::scratch_fail_after(-1); }
};

}  // namespace

TEST(XEncrypt, EqualsDesCbcFromZeroVectorAndRoundTripsToLowerCase)
{
    auto rng = seeded_rng(32);
    for (int round = 0; round < rounds(100); ++round) {
        const std::string plain = random_hex(rng, 16 * (1 + rng() % 64));
        const std::string passwd = random_password(rng);
        const outcome sealed = run(xencrypt, plain, passwd);
        ASSERT_EQ(sealed.result, 1);
        EXPECT_EQ(sealed.text, openssl_cbc_hex(plain, passwd, DES_ENCRYPT)) << plain.size();
        EXPECT_EQ(run(xdecrypt, plain, passwd).text, openssl_cbc_hex(plain, passwd, DES_DECRYPT));
        const outcome opened = run(xdecrypt, sealed.text, passwd);
        EXPECT_EQ(opened.result, 1);
        EXPECT_EQ(opened.text, lower(plain));
    }
}

TEST(XEncrypt, SixteenAndSixtyFourDigitTextsRoundTripInEitherCase)
{
    const std::string texts[] = {"0123456789abcdef", "0123456789ABCDEF", secret_key + secret_key.substr(0, 16),
                                 lower(secret_key) + "FEDCBA9876543210"};
    for (const auto &text : texts) {
        const outcome sealed = run(xencrypt, text, "hunter22");
        ASSERT_EQ(sealed.result, 1);
        EXPECT_NE(sealed.text, lower(text));
        EXPECT_EQ(run(xdecrypt, sealed.text, "hunter22").text, lower(text));
    }
}

TEST(XEncrypt, OnlyTheLowSixBitsOfTheFirstEightCharactersCount)
{
    const std::string text = "00112233445566778899aabbccddeeff";
    const std::string same = run(xencrypt, text, "password").text;
    for (const char *passwd : {"password and more", "0!337/2$", "\xF0\xE1\xF3\xF3\xF7\xEF\xF2\xE4"})
        EXPECT_EQ(run(xencrypt, text, passwd).text, same) << passwd;
    EXPECT_NE(run(xencrypt, text, "passwor").text, same);
    EXPECT_NE(run(xencrypt, text, "passworD").text, same);
}

TEST(XEncrypt, EmptyPasswordGivesAWeakKey)
{
    const std::string text = "13579bdf02468ace";
    const std::string once = run(xencrypt, text, "").text;
    EXPECT_NE(once, text);
    EXPECT_EQ(run(xencrypt, once, ""), (outcome{1, text}));

    const std::string zeros = run(xencrypt, std::string(32, '0'), "").text;
    EXPECT_EQ(zeros.substr(16), std::string(16, '0'));
}

TEST(XEncrypt, AcceptsLengths16kAnd16kPlus1UpTo16385)
{
    auto rng = seeded_rng(33);
    std::vector<std::size_t> lengths;
    for (std::size_t len = 0; len <= 70; ++len)
        lengths.push_back(len);
    for (std::size_t len = 16366; len <= 16402; ++len)
        lengths.push_back(len);
    for (std::size_t len : lengths) {
        const std::string text = random_hex(rng, len);
        const bool accepted = len % 16 <= 1 && len <= 16385;
        for (text_call call : {xencrypt, xdecrypt}) {
            const outcome out = run(call, text, "pw");
            EXPECT_EQ(out.result, accepted ? 1 : 0) << len;
            if (accepted)
                EXPECT_EQ(out.text.size(), len / 2 * 2) << len;
            else
                EXPECT_EQ(out.text, text) << len;
        }
    }
}

TEST(XEncrypt, LastOddCharacterIsDroppedAndNonDigitsAreConverted)
{
    EXPECT_EQ(run(xencrypt, "7", "pw"), (outcome{1, ""}));
    EXPECT_EQ(run(xdecrypt, "", "pw"), (outcome{1, ""}));
    const std::string sealed = run(xencrypt, "0123456789ABCDEF9", "pw").text;
    EXPECT_EQ(sealed, run(xencrypt, "0123456789abcdef", "pw").text);
    // "eg" is the byte 0xE0 + 16 = 0xF0.
    const std::string odd = run(xencrypt, "0123456789abcdeg", "pw").text;
    EXPECT_EQ(run(xdecrypt, odd, "pw").text, "0123456789abcdf0");
}

TEST(SecretKeyRecord, RightPasswordLeavesTheSecretKeyEvenWithFurtherDigits)
{
    for (const std::string more : {"", "0123456789abcdef", "00112233445566778899aabbccddeeff"}) {
        EXPECT_EQ(run(decrypt_secret_key, make_record(secret_key, more, "s3cret!"), "s3cret!"),
                  (outcome{1, secret_key}))
            << more.size();
    }
}

TEST(SecretKeyRecord, OneWrongCheckDigitAtAnyOfTheSixteenPlacesFails)
{
    for (std::size_t at = 0; at < 16; ++at) {
        std::string plain = secret_key + secret_key.substr(0, 16);
        plain[48 + at] = plain[48 + at] == '0' ? '1' : '0';
        const std::string record = run(xencrypt, plain, "s3cret!").text;
        EXPECT_EQ(run(decrypt_secret_key, record, "s3cret!").result, 0) << at;
    }
}

// The check compares plaintext blocks 0 and 3; damage to ciphertext block 1,
// digits 16-31, garbles plaintext blocks 1 and 2 only and passes it, with a
// wrong key. Damage anywhere else in the 64 digits fails it.
TEST(SecretKeyRecord, DamageToDigits16To31PassesTheCheckElsewhereFails)
{
    const std::string record = run(xencrypt, secret_key + secret_key.substr(0, 16), "s3cret!").text;
    for (std::size_t at = 0; at < 64; ++at) {
        std::string damaged = record;
        damaged[at] = damaged[at] == '0' ? '1' : '0';
        const auto opened = run(decrypt_secret_key, damaged, "s3cret!");
        const bool in_block_1 = at >= 16 && at < 32;
        EXPECT_EQ(opened.result, in_block_1 ? 1 : 0) << at;
        if (in_block_1) {
            EXPECT_EQ(opened.text.substr(0, 16), secret_key.substr(0, 16)) << at;
            EXPECT_EQ(opened.text.size(), 48u);
            EXPECT_NE(opened.text.substr(16), secret_key.substr(16)) << at;
        }
    }
}

TEST(SecretKeyRecord, WrongPasswordFailsAndLeavesTheDecryptedText)
{
    const std::string record = make_record(secret_key, "", "s3cret!");
    const outcome out = run(decrypt_secret_key, record, "s3cret?");
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.text, run(xdecrypt, record, "s3cret?").text);
    EXPECT_EQ(out.text.size(), 64u);
}

// A plain record whose length cannot be decrypted would pass the check of its
// own digits under any password if the failed decryption were ignored.
TEST(SecretKeyRecord, TextThatCannotBeDecryptedIsRefusedUntouched)
{
    for (const std::string tail : {"00", "0a1", "0123456789abcdef01"}) {
        const std::string plain = secret_key + secret_key.substr(0, 16) + tail;
        EXPECT_EQ(run(decrypt_secret_key, plain, "any"), (outcome{0, plain})) << plain.size();
    }
}

// Built on the heap at their exact size, so that a read past the NUL is caught.
TEST(SecretKeyRecord, TextShorterThanARecordIsRefusedUntouched)
{
    for (std::size_t len : {0, 1, 16, 17, 32, 48, 63}) {
        const std::string text = (secret_key + secret_key).substr(0, len);
        auto buffer = std::make_unique<char[]>(len + 1);
        std::copy(text.begin(), text.end(), buffer.get());
        buffer[len] = '\0';
        EXPECT_EQ(decrypt_secret_key(buffer.get(), "pw"), 0) << len;
        EXPECT_EQ(std::string(buffer.get(), len + 1), text + '\0') << len;
    }
}

TEST(SecretKeyRecord, FailedAllocationFailsUntouched)
{
    const std::string record = make_record(secret_key, "", "pw");
    for (text_call call : {xencrypt, xdecrypt, decrypt_secret_key}) {
        failing_allocation fail(0);
        EXPECT_EQ(run(call, record, "pw"), (outcome{0, record}));
    }
    // Texts of 0 or 1 character allocate nothing: the planned failure stays due.
    failing_allocation fail(0);
    EXPECT_EQ(run(xencrypt, "", "pw"), (outcome{1, ""}));
    EXPECT_EQ(run(xdecrypt, "a", "pw"), (outcome{1, ""}));
    EXPECT_EQ(run(xencrypt, "0123456789abcdef", "pw").result, 0);
}
