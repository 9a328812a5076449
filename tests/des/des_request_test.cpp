#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include <openssl/des.h>

#include "dessec.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

char *chars(bytes &b) { return reinterpret_cast<char *>(b.data()); }

// OpenSSL's own calls on a copy, as the reference for random requests.
bytes openssl_ecb(bytes key, bytes data, bool decrypt)
{
    DES_key_schedule ks;
    DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(key.data()), &ks);
    for (std::size_t at = 0; at < data.size(); at += 8) {
        auto *block = reinterpret_cast<DES_cblock *>(data.data() + at);
        DES_ecb_encrypt(block, block, &ks, decrypt ? DES_DECRYPT : DES_ENCRYPT);
    }
    return data;
}

bytes openssl_cbc(bytes key, bytes data, bytes &iv, bool decrypt)
{
    DES_key_schedule ks;
    DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(key.data()), &ks);
    bytes out(data.size());
    DES_ncbc_encrypt(data.data(), out.data(), static_cast<long>(data.size()), &ks,
                     reinterpret_cast<DES_cblock *>(iv.data()), decrypt ? DES_DECRYPT : DES_ENCRYPT);
    return out;
}

}  // namespace

TEST(DesKnownAnswers, EcbMatchesFips46And81)
{
    for (const auto &v : read_vectors("des_ecb.txt")) {
        bytes key = from_hex(v.at("key")), data = from_hex(v.at("plain"));
        ASSERT_EQ(ecb_crypt(chars(key), chars(data), data.size(), des_mode_encrypt), des_status_done);
        EXPECT_EQ(to_hex(data), v.at("cipher")) << "key " << v.at("key");
        ASSERT_EQ(ecb_crypt(chars(key), chars(data), data.size(), des_mode_decrypt), des_status_done);
        EXPECT_EQ(to_hex(data), v.at("plain"));
    }
}

TEST(DesKnownAnswers, CbcMatchesFips81AndLeavesLastCiphertextInVector)
{
    for (const auto &v : read_vectors("des_cbc.txt")) {
        bytes key = from_hex(v.at("key")), data = from_hex(v.at("plain")), iv = from_hex(v.at("iv"));
        const std::string cipher = v.at("cipher");
        ASSERT_EQ(cbc_crypt(chars(key), chars(data), data.size(), des_mode_encrypt, chars(iv)), des_status_done);
        EXPECT_EQ(to_hex(data), cipher);
        EXPECT_EQ(to_hex(iv), cipher.substr(cipher.size() - 16));

        iv = from_hex(v.at("iv"));
        ASSERT_EQ(cbc_crypt(chars(key), chars(data), data.size(), des_mode_decrypt, chars(iv)), des_status_done);
        EXPECT_EQ(to_hex(data), v.at("plain"));
        EXPECT_EQ(to_hex(iv), cipher.substr(cipher.size() - 16));
    }
}

// Key, data and vector at odd addresses give the answers of aligned ones.
TEST(DesKnownAnswers, BuffersNeedNoAlignment)
{
    const vector_record v = read_vectors("des_cbc.txt").front();
    const bytes key = from_hex(v.at("key")), plain = from_hex(v.at("plain")), iv = from_hex(v.at("iv"));
    bytes storage(3 * (plain.size() + 8) + 3);
    char *k = chars(storage) + 1, *data = k + 8 + 1, *vector = data + plain.size() + 1;
    std::memcpy(k, key.data(), 8);
    std::memcpy(data, plain.data(), plain.size());
    std::memcpy(vector, iv.data(), 8);
    ASSERT_EQ(cbc_crypt(k, data, plain.size(), des_mode_encrypt, vector), des_status_done);
    EXPECT_EQ(to_hex(reinterpret_cast<unsigned char *>(data), plain.size()), v.at("cipher"));
    ASSERT_EQ(ecb_crypt(k, data, plain.size(), des_mode_decrypt), des_status_done);
    bytes aligned = from_hex(v.at("cipher")), aligned_key = key;
    ecb_crypt(chars(aligned_key), chars(aligned), aligned.size(), des_mode_decrypt);
    EXPECT_EQ(to_hex(reinterpret_cast<unsigned char *>(data), plain.size()), to_hex(aligned));
}

TEST(DesAgainstOpenSsl, RandomRequestsInBothModesAndDirections)
{
    auto rng = seeded_rng(1);
    for (int round = 0; round < rounds(300); ++round) {
        const std::size_t len = 8 * (rng() % 1025);
        bytes key = random_bytes(rng, 8), data = random_bytes(rng, len), iv = random_bytes(rng, 8);
        const bool decrypt = rng() & 1;
        const unsigned mode = decrypt ? des_mode_decrypt : des_mode_encrypt;

        bytes ecb = data;
        ASSERT_EQ(ecb_crypt(chars(key), chars(ecb), len, mode), des_status_done);
        EXPECT_EQ(ecb, openssl_ecb(key, data, decrypt)) << "len " << len;

        bytes cbc = data, our_iv = iv, their_iv = iv;
        ASSERT_EQ(cbc_crypt(chars(key), chars(cbc), len, mode, chars(our_iv)), des_status_done);
        EXPECT_EQ(cbc, openssl_cbc(key, data, their_iv, decrypt)) << "len " << len;
        if (len > 0) {
            EXPECT_EQ(our_iv, their_iv);
        }
    }
}

TEST(DesChaining, SplitRequestsEqualOneRequestEmptyOnesIncluded)
{
    auto rng = seeded_rng(2);
    for (int round = 0; round < rounds(100); ++round) {
        const std::size_t blocks = 1 + rng() % 40;
        bytes key = random_bytes(rng, 8), plain = random_bytes(rng, 8 * blocks), iv0 = random_bytes(rng, 8);
        for (unsigned mode : {unsigned(des_mode_encrypt), unsigned(des_mode_decrypt)}) {
            bytes whole = plain, whole_iv = iv0;
            ASSERT_EQ(cbc_crypt(chars(key), chars(whole), whole.size(), mode, chars(whole_iv)), des_status_done);

            bytes split = plain, iv = iv0;
            std::size_t at = 0;
            while (at < split.size()) {
                const std::size_t take = 8 * std::min<std::size_t>(rng() % 4, (split.size() - at) / 8);
                ASSERT_EQ(cbc_crypt(chars(key), chars(split) + at, take, mode, chars(iv)), des_status_done);
                at += take;
            }
            EXPECT_EQ(split, whole) << "mode " << mode;
            EXPECT_EQ(iv, whole_iv);
        }
    }
}

// An empty request keeps the chaining state in both directions; a decryption
// that zeroed the vector here would garble the next block of the message.
TEST(DesChaining, EmptyRequestLeavesVectorUnchanged)
{
    struct Case { unsigned mode; int status; };
    const Case cases[] = {{0, des_status_done}, {1, des_status_done}, {2, des_status_ok}, {3, des_status_ok}};
    for (const auto &c : cases) {
        bytes key = from_hex("0123456789abcdef"), iv = from_hex("1234567890abcdef"), data(8, 0xAA);
        EXPECT_EQ(cbc_crypt(chars(key), chars(data), 0, c.mode, chars(iv)), c.status);
        EXPECT_EQ(to_hex(iv), "1234567890abcdef") << "mode " << c.mode;
        EXPECT_EQ(data, bytes(8, 0xAA));
        EXPECT_EQ(ecb_crypt(chars(key), chars(data), 0, c.mode), c.status);
        EXPECT_EQ(data, bytes(8, 0xAA));
    }
}

TEST(DesRequests, RefusedLengthsChangeNothing)
{
    const unsigned lengths[] = {12, 8200, 8193, 7, static_cast<unsigned>(-8), static_cast<unsigned>(-1)};
    for (unsigned len : lengths) {
        bytes key = from_hex("0123456789abcdef"), iv = from_hex("1234567890abcdef"), data(16, 0x5C);
        EXPECT_EQ(ecb_crypt(chars(key), chars(data), len, des_mode_encrypt), des_status_bad_length) << len;
        EXPECT_EQ(cbc_crypt(chars(key), chars(data), len, des_mode_decrypt, chars(iv)), des_status_bad_length);
        EXPECT_EQ(data, bytes(16, 0x5C));
        EXPECT_EQ(to_hex(iv), "1234567890abcdef");
        EXPECT_EQ(to_hex(key), "0123456789abcdef");
    }
}

TEST(DesRequests, LongestRequestIsAccepted)
{
    bytes key = from_hex("0123456789abcdef"), iv(8), data(DESSEC_DES_MAX_LEN);
    EXPECT_EQ(cbc_crypt(chars(key), chars(data), DESSEC_DES_MAX_LEN, des_mode_encrypt, chars(iv)), des_status_done);
    EXPECT_EQ(ecb_crypt(chars(key), chars(data), DESSEC_DES_MAX_LEN, des_mode_report_ok), des_status_ok);
}

TEST(DesRequests, OnlyTheLowTwoModeBitsCount)
{
    struct Case { unsigned mode, same_as; int status; };
    const Case cases[] = {{4, 0, des_status_done}, {5, 1, des_status_done}, {2, 0, des_status_ok},
                          {0x80000003u, 3, des_status_ok}};
    auto rng = seeded_rng(3);
    bytes key = random_bytes(rng, 8), plain = random_bytes(rng, 64), iv0 = random_bytes(rng, 8);
    for (const auto &c : cases) {
        bytes a = plain, b = plain, iv_a = iv0, iv_b = iv0;
        EXPECT_EQ(cbc_crypt(chars(key), chars(a), 64, c.mode, chars(iv_a)), c.status) << c.mode;
        cbc_crypt(chars(key), chars(b), 64, c.same_as, chars(iv_b));
        EXPECT_EQ(a, b);
        EXPECT_EQ(iv_a, iv_b);
        a = b = plain;
        EXPECT_EQ(ecb_crypt(chars(key), chars(a), 64, c.mode), c.status);
        ecb_crypt(chars(key), chars(b), 64, c.same_as);
        EXPECT_EQ(a, b);
    }
}

TEST(DesRequests, ParityBitsOfTheKeyAreIgnoredAndOtherBitsAreNot)
{
    auto rng = seeded_rng(4);
    bytes key = random_bytes(rng, 8), plain = random_bytes(rng, 32);
    bytes reference = plain;
    ecb_crypt(chars(key), chars(reference), 32, des_mode_encrypt);
    for (int bit = 0; bit < 64; ++bit) {
        bytes flipped = key, data = plain;
        flipped[bit / 8] ^= static_cast<unsigned char>(1u << (bit % 8));
        ecb_crypt(chars(flipped), chars(data), 32, des_mode_encrypt);
        if (bit % 8 == 0)
            EXPECT_EQ(data, reference) << "parity bit " << bit;
        else
            EXPECT_NE(data, reference) << "key bit " << bit;
    }
}

TEST(DesSetParity, GivesOddParityAndClearsTheTopBit)
{
    struct Case { unsigned char in, out; };
    const Case cases[] = {{0x00, 0x01}, {0x80, 0x01}, {0xFE, 0x7F}, {0xFF, 0x7F}, {0x06, 0x07}, {0x01, 0x01},
                          {0x02, 0x02}, {0x7F, 0x7F}, {0x7E, 0x7F}, {0x13, 0x13}};
    for (const auto &c : cases) {
        bytes key(8, c.in);
        des_setparity(chars(key));
        EXPECT_EQ(key, bytes(8, c.out)) << int(c.in);
    }
    for (int v = 0; v < 256; ++v) {
        bytes key(8, static_cast<unsigned char>(v));
        des_setparity(chars(key));
        const bytes once = key;
        des_setparity(chars(key));
        EXPECT_EQ(key, once) << v;
        EXPECT_EQ(__builtin_popcount(once[0]) % 2, 1) << v;
        EXPECT_EQ(once[0] & 0x80, 0);
        EXPECT_EQ(once[0] & 0x7E, v & 0x7E);
    }
}
