#include <gtest/gtest.h>

#include <string>

#include "crypt_oracle.h"
#include "dessec.h"
#include "passwd/passwd.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

std::string md5_hash(const std::string &passwd, const std::string &setting)
{
    return dessec::passwd_md5_crypt(passwd.c_str(), setting.c_str());
}

}  // namespace

// Every salt length with every password length from 0 to 40 bytes covers the
// 16-byte steps and the bit walk over the length.
TEST(Md5Crypt, AgreesWithSystemCryptThroughVerify)
{
    auto rng = seeded_rng(61);
    for (std::size_t salt_len = 0; salt_len <= 8; ++salt_len) {
        for (std::size_t len = 0; len <= 40; ++len) {
            const std::string passwd = random_text(rng, len, 1, 255);
            const std::string hash = system_crypt(passwd, "$1$" + random_crypt64(rng, salt_len));
            ASSERT_FALSE(hash.empty());
            EXPECT_EQ(md5_hash(passwd, hash), hash);
            EXPECT_EQ(passwd_verify(passwd.c_str(), hash.c_str()), 1) << hash;
            EXPECT_EQ(passwd_verify((passwd + "x").c_str(), hash.c_str()), 0) << hash;
        }
    }
}

// Iteration messages of up to two blocks (s + 2n at most 103) are prebuilt;
// longer passwords are absorbed piece by piece. Lengths on both sides of
// that limit, and up to the longest the system takes.
TEST(Md5Crypt, LongPasswordsAgreeWithSystemCrypt)
{
    auto rng = seeded_rng(62);
    for (const std::size_t salt_len : {0, 1, 8}) {
        for (const std::size_t len : {47, 48, 51, 52, 63, 64, 65, 200, 511}) {
            const std::string passwd = random_text(rng, len, 1, 255);
            const std::string hash = system_crypt(passwd, "$1$" + random_crypt64(rng, salt_len));
            ASSERT_FALSE(hash.empty());
            EXPECT_EQ(md5_hash(passwd, hash), hash) << len << " " << salt_len;
        }
    }
}

TEST(Md5Crypt, SaltIsReadFromTheSetting)
{
    const std::string pw = "pw";
    const std::string salt8 = md5_hash(pw, "$1$abcdefgh");
    EXPECT_EQ(md5_hash(pw, "abcdefgh"), salt8);
    EXPECT_EQ(md5_hash(pw, "$1$abcdefghij"), salt8);
    EXPECT_EQ(salt8.size(), 34u);
    EXPECT_EQ(md5_hash(pw, "$1$abc$def"), system_crypt(pw, "$1$abc"));

    const std::string empty = md5_hash(pw, "");
    EXPECT_EQ(empty, system_crypt(pw, "$1$"));
    EXPECT_EQ(empty.size(), 26u);
    EXPECT_EQ(md5_hash(pw, "$1$"), empty);
    EXPECT_EQ(md5_hash(pw, "$2$abc"), empty);

    const std::string odd = md5_hash(pw, "$1$a :b");
    EXPECT_EQ(odd.substr(0, 8), "$1$a :b$");
    EXPECT_EQ(odd.size(), 30u);
}
