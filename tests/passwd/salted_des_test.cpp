#include <gtest/gtest.h>

#include <openssl/des.h>

#include "passwd/passwd.h"
#include "test_support.h"

using namespace dessec_test;
using dessec::salted_des_iterate;
using dessec::salted_des_key_schedule;
using dessec::salted_des_load_key;

namespace {

bytes engine(const bytes &key, const bytes &in, std::uint32_t salt, std::int32_t count)
{
    salted_des_key_schedule schedule;
    salted_des_load_key(key.data(), schedule);
    bytes out(8);
    salted_des_iterate(in.data(), out.data(), salt, count, schedule);
    return out;
}

bytes openssl_des(bytes key, bytes in, int enc)
{
    DES_key_schedule ks;
    DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(key.data()), &ks);
    bytes out(8);
    DES_ecb_encrypt(reinterpret_cast<const_DES_cblock *>(in.data()), reinterpret_cast<DES_cblock *>(out.data()),
                    &ks, enc);
    return out;
}

}  // namespace

TEST(SaltedDes, SaltZeroIsFips46DesBothWays)
{
    for (const auto &v : read_vectors("des_ecb.txt")) {
        const bytes key = from_hex(v.at("key")), plain = from_hex(v.at("plain")), cipher = from_hex(v.at("cipher"));
        for (std::size_t at = 0; at < plain.size(); at += 8) {
            const bytes p(plain.begin() + at, plain.begin() + at + 8), c(cipher.begin() + at, cipher.begin() + at + 8);
            EXPECT_EQ(to_hex(engine(key, p, 0, 1)), to_hex(c)) << v.at("key");
            EXPECT_EQ(to_hex(engine(key, c, 0, -1)), to_hex(p)) << v.at("key");
        }
    }
}

TEST(SaltedDes, SaltZeroAgreesWithOpenSslOnRandomKeysAndBlocks)
{
    auto rng = seeded_rng(41);
    for (int round = 0; round < rounds(2000); ++round) {
        const bytes key = random_bytes(rng, 8), block = random_bytes(rng, 8);
        ASSERT_EQ(engine(key, block, 0, 1), openssl_des(key, block, DES_ENCRYPT)) << to_hex(key);
        ASSERT_EQ(engine(key, block, 0, -1), openssl_des(key, block, DES_DECRYPT)) << to_hex(key);
    }
}

// c passes in one call are c single passes in a row; -c undoes c in place.
TEST(SaltedDes, CountsChainAndNegativeCountsUndoThem)
{
    auto rng = seeded_rng(42);
    for (int round = 0; round < rounds(300); ++round) {
        const bytes key = random_bytes(rng, 8), block = random_bytes(rng, 8);
        const auto salt = static_cast<std::uint32_t>(rng() & 0xffffff);
        const auto count = static_cast<std::int32_t>(1 + rng() % 30);
        bytes stepped = block;
        for (int i = 0; i < count; ++i)
            stepped = engine(key, stepped, salt, 1);
        bytes data = engine(key, block, salt, count);
        ASSERT_EQ(data, stepped);

        salted_des_key_schedule schedule;
        salted_des_load_key(key.data(), schedule);
        salted_des_iterate(data.data(), data.data(), salt, -count, schedule);
        ASSERT_EQ(data, block) << "salt " << salt << " count " << count;
        EXPECT_EQ(engine(key, block, salt, 0), block);
    }
}

TEST(SaltedDes, HighSaltBitsAndKeyParityBitsChangeNothing)
{
    auto rng = seeded_rng(43);
    for (int round = 0; round < rounds(300); ++round) {
        bytes key = random_bytes(rng, 8);
        const bytes block = random_bytes(rng, 8);
        const auto salt = static_cast<std::uint32_t>(rng() & 0xffffff);
        const bytes expected = engine(key, block, salt, 3);
        EXPECT_EQ(engine(key, block, salt | static_cast<std::uint32_t>(rng() << 24), 3), expected);
        for (auto &b : key)
            b ^= rng() & 1;
        EXPECT_EQ(engine(key, block, salt, 3), expected);
    }
}

TEST(SaltedDes, Crypt64ValuesOfCharacters)
{
    const std::pair<int, unsigned> cases[] = {{'.', 0}, {'/', 1}, {'0', 2},  {'A', 12}, {'a', 38},
                                              {'z', 63}, {'!', 0}, {'$', 0}, {0, 0},     {127, 0},
                                              {128, 0},  {255, 0}};
    for (const auto &[c, value] : cases)
        EXPECT_EQ(dessec::crypt64_value(static_cast<unsigned char>(c)), value) << c;
}
