#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include <openssl/rand.h>

#include "crypt_oracle.h"
#include "dessec.h"
#include "passwd/passwd.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

int verify(const std::string &passwd, const std::string &stored)
{
    return passwd_verify(passwd.c_str(), stored.c_str());
}

// The same text with the case of its last letter changed.
std::string flip_last_letter(std::string s)
{
    for (auto it = s.rbegin(); it != s.rend(); ++it) {
        if (std::isalpha(static_cast<unsigned char>(*it))) {
            *it = static_cast<char>(*it ^ 0x20);
            break;
        }
    }
    return s;
}

int failing_bytes(unsigned char *, int) { return 0; }

}  // namespace

TEST(PasswdVerify, KnownHashesOfBothFormats)
{
    for (const auto &v : read_vectors("passwd_crypt.txt")) {
        EXPECT_EQ(verify(v.at("passwd"), v.at("hash")), 1) << v.at("hash");
        EXPECT_EQ(verify("!" + v.at("passwd"), v.at("hash")), 0) << v.at("hash");
    }
}

// The table of stored forms that the tool's and the Python tests read too.
TEST(PasswdVerify, StoredHashForms)
{
    for (const auto &v : read_vectors("stored_hashes.txt"))
        EXPECT_EQ(verify(v.at("passwd"), v.at("stored")), std::stoi(v.at("verify"))) << v.at("stored");
}

TEST(PasswdVerify, StoredTextsAgainstTheRightPassword)
{
    const std::string pw = "open sesame";
    const std::string trad = passwd_crypt(pw.c_str(), "ab");
    const std::string ext = passwd_crypt(pw.c_str(), "_J9..CCCC");
    const std::string ext_short = passwd_crypt(pw.c_str(), "_J");
    const std::string md5 = system_crypt(pw, "$1$saltsalt"), md5_short = system_crypt(pw, "$1$ab");
    const std::string filler(60, 'x');
    struct Case { std::string stored; int expected; };
    const Case cases[] = {
        {trad, 1},
        {trad + ",uid=42,anything", 1},
        {trad + "," + filler, 1},
        {trad + filler, 0},
        {trad.substr(0, 6) + "," + trad.substr(7), 0},
        {trad.substr(0, 1) + "," + trad.substr(2), 0},
        {flip_last_letter(trad), 0},
        {trad + "\n", 0},
        {trad + " ", 0},
        {"", 0},
        {ext, 1},
        {ext + ",x", 1},
        {ext_short, 1},
        {ext.substr(0, 5) + "," + ext.substr(6), 0},
        {flip_last_letter(ext), 0},
        {md5, 1},
        {md5_short, 1},
        {md5 + "," + filler, 1},
        {flip_last_letter(md5), 0},
        {"$2" + md5.substr(2), 0},
    };
    for (const auto &c : cases)
        EXPECT_EQ(verify(pw, c.stored), c.expected) << c.stored;

    EXPECT_EQ(verify("open sesame and more", trad), 1);
    EXPECT_EQ(verify("open ses", trad), 1);
    EXPECT_EQ(verify("open se", trad), 0);
    EXPECT_EQ(verify("", passwd_crypt("", "zz")), 1);
    EXPECT_EQ(passwd_verify(nullptr, trad.c_str()), 0);
    EXPECT_EQ(passwd_verify(pw.c_str(), nullptr), 0);
}

// Such a hash is the zero block, the same for every password.
TEST(PasswdVerify, ExtendedHashWithCountZeroMatchesNoPassword)
{
    for (const char *setting : {"_....CCCC", "_!!!!CCCC", "_\xff...CCCC", "_"}) {
        const std::string stored = passwd_crypt("any", setting);
        EXPECT_EQ(verify("any", stored), 0) << stored;
        EXPECT_EQ(verify("other", stored), 0) << stored;
    }
}

// Exactly 51 characters without a NUL: nothing behind them is read.
TEST(PasswdVerify, ReadsAtMost51StoredCharacters)
{
    const std::string text = (std::string(passwd_crypt("pw", "ab")) + "," + std::string(60, 'y')).substr(0, 51);
    auto stored = std::make_unique<char[]>(51);
    std::memcpy(stored.get(), text.data(), 51);
    EXPECT_EQ(passwd_verify("pw", stored.get()), 1);
}

TEST(PasswdVerify, HashTextsEqualOnlyWhenEveryByteIs)
{
    auto rng = seeded_rng(71);
    const bytes a = random_bytes(rng, 52);
    bytes b = a;
    const auto *pa = reinterpret_cast<const char *>(a.data());
    const auto *pb = reinterpret_cast<const char *>(b.data());
    EXPECT_EQ(dessec::hash_texts_equal(pa, pb, 52), 1);
    for (std::size_t i = 0; i < 52; ++i) {
        for (unsigned difference = 1; difference < 256; ++difference) {
            b[i] ^= static_cast<unsigned char>(difference);
            EXPECT_EQ(dessec::hash_texts_equal(pa, pb, 52), 0) << i << " " << difference;
            b[i] ^= static_cast<unsigned char>(difference);
        }
    }
}

// 51 characters without a comma or a NUL, the last one just before a page
// that may not be read: the copy stops at the limit.
TEST(PasswdVerify, StoredTextOf51CharactersEndingOnAGuardPage)
{
    memory_page page;
    ASSERT_NE(page.data(), nullptr);
    const std::string text = (passwd_crypt("pw", "ab") + std::string(60, 'y')).substr(0, 51);
    char *stored = page.end() - text.size();
    std::memcpy(stored, text.data(), text.size());
    EXPECT_EQ(passwd_verify("pw", stored), 0);
}

TEST(PasswdSaltgen, SaltsAreWellFormedAndVaried)
{
    std::set<std::string> seen;
    int letters = 0;
    const int calls = rounds(3000);
    for (int i = 0; i < calls; ++i) {
        char salt[4] = {'x', 'x', 'x', 'x'};
        const int result = passwd_saltgen(salt);
        ASSERT_EQ(salt[2], '\0');
        ASSERT_EQ(salt[3], 'x');
        ASSERT_NE(std::strchr(dessec::crypt64_alphabet, salt[0]), nullptr);
        ASSERT_NE(std::strchr(dessec::crypt64_alphabet, salt[1]), nullptr);
        ASSERT_EQ(result, std::isalpha(salt[0]) && std::isalpha(salt[1]) ? 1 : 0) << salt;
        letters += result;
        seen.insert(salt);
    }
    EXPECT_GT(seen.size(), static_cast<std::size_t>(calls / 2));
    EXPECT_GT(letters, 0);
    EXPECT_LT(letters, calls);
}

TEST(PasswdSaltgen, LeavesTheCLibrarySequenceAlone)
{
    std::srand(7);
    const int expected = std::rand();
    std::srand(7);
    char salt[3];
    passwd_saltgen(salt);
    EXPECT_EQ(std::rand(), expected);
}

// libcrypto's generator failing, the salts come from the system's.
TEST(PasswdSaltgen, FailingLibcryptoGeneratorFallsBackToTheSystems)
{
    const RAND_METHOD *standard = RAND_get_rand_method();
    RAND_METHOD failing = *standard;
    failing.bytes = failing_bytes;
    ASSERT_EQ(RAND_set_rand_method(&failing), 1);
    std::set<std::string> salts;
    for (int i = 0; i < 16; ++i) {
        char salt[3] = {'x', 'x', 'x'};
        passwd_saltgen(salt);
        salts.insert(salt);
    }
    RAND_set_rand_method(standard);
    EXPECT_GT(salts.size(), 8u);
    for (const auto &salt : salts)
        EXPECT_EQ(salt.size(), 2u);
}
