#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "common/crypt64_alphabet.h"
#include "crypt_oracle.h"
#include "dessec.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

std::string hash_of(const std::string &passwd, const std::string &setting)
{
    return passwd_crypt(passwd.c_str(), setting.c_str());
}

// Random count characters with the last two ".", never count 0.
std::string small_extended_setting(std::mt19937_64 &rng)
{
    std::string count;
    do
        count = random_crypt64(rng, 2);
    while (count == "..");
    return "_" + count + ".." + random_crypt64(rng, 4);
}

}  // namespace

TEST(PasswdCrypt, KnownHashes)
{
    for (const auto &v : read_vectors("passwd_crypt.txt")) {
        if (v.at("setting")[0] != '$') {
            EXPECT_EQ(hash_of(v.at("passwd"), v.at("setting")), v.at("hash"));
        }
    }
}

TEST(PasswdCrypt, TraditionalAgreesWithSystemCrypt)
{
    auto rng = seeded_rng(51);
    for (int round = 0; round < rounds(3000); ++round) {
        const std::string passwd = random_text(rng, rng() % 20), setting = random_crypt64(rng, 2);
        const std::string expected = system_crypt(passwd, setting);
        if (!expected.empty()) {
            ASSERT_EQ(hash_of(passwd, setting), expected) << passwd << " " << setting;
        }
    }
}

TEST(PasswdCrypt, ExtendedAgreesWithSystemCrypt)
{
    auto rng = seeded_rng(52);
    for (int round = 0; round < rounds(150); ++round) {
        const std::string passwd = random_text(rng, rng() % 40), setting = small_extended_setting(rng);
        const std::string expected = system_crypt(passwd, setting);
        if (!expected.empty()) {
            ASSERT_EQ(hash_of(passwd, setting), expected) << passwd << " " << setting;
        }
    }
    for (const char *setting : {"_..1.abcd", "_zz7.Zz.9", "_/...////"}) {
        const std::string passwd = "a password beyond sixteen characters";
        EXPECT_EQ(hash_of(passwd, setting), system_crypt(passwd, setting)) << setting;
    }
}

// Settings that the system library refuses, and the password rules, against
// the equivalent settings and passwords.
TEST(PasswdCrypt, SettingAndPasswordQuirks)
{
    const std::string pw = "secret";
    const std::string dots_hash = hash_of(pw, "..").substr(2);
    struct Case { std::string passwd, setting, expected; };
    const Case cases[] = {
        {pw, "", ".." + dots_hash},
        {pw, "a", system_crypt(pw, "a.")},
        {pw, "!~", "!~" + dots_hash},
        {pw, "\xff" "A", std::string("\xff").append(hash_of(pw, ".A"), 1)},
        {pw, "$1$salt", std::string("$1").append(hash_of(pw, ".1"), 2)},
        {pw, "_J", system_crypt(pw, "_J.......")},
        {pw, "_J9.", system_crypt(pw, "_J9......")},
        {pw, "_....CCCC", "_....CCCC..........."},
        {pw, "_", "_..................."},
        {pw, "_J9..CCCC.MOp/ZbelpA", system_crypt(pw, "_J9..CCCC")},
        {pw, "abJnggxhB/yWI", system_crypt(pw, "ab")},
        {"12345678", "ab", hash_of("123456789", "ab")},
        {"\xc1\xe2", "ab", hash_of("Ab", "ab")},
        {"\x80", "ab", hash_of("", "ab")},
    };
    for (const auto &c : cases)
        EXPECT_EQ(hash_of(c.passwd, c.setting), c.expected) << c.setting;

    EXPECT_NE(hash_of("12345678", "_J9..CCCC"), hash_of("123456789", "_J9..CCCC"));
    EXPECT_NE(hash_of("12345678", "_J9..CCCC"), hash_of("12345678\x80", "_J9..CCCC"));
    EXPECT_NE(hash_of("\x80" "abc", "ab"), hash_of("abc", "ab"));
    EXPECT_EQ(std::string(passwd_crypt(nullptr, nullptr)), hash_of("", ""));
}

// Settings the system's crypt refuses still give a hash: a character outside
// the alphabet is copied into it, "$" is a salt character, count 0 hashes
// every password alike.
TEST(PasswdCrypt, SettingsOutsideTheFormatsStillGiveAHash)
{
    for (const std::string setting : {"a:", "a\n", "$1$abc$"}) {
        const std::string hash = hash_of("x", setting);
        EXPECT_EQ(hash.size(), 13u) << setting;
        EXPECT_EQ(hash.substr(0, 2), setting.substr(0, 2));
        EXPECT_EQ(hash.find_first_not_of(dessec::crypt64_alphabet, 2), std::string::npos) << hash;
    }
    EXPECT_EQ(hash_of("a", "_....abcd"), "_....abcd...........");
    EXPECT_EQ(hash_of("b", "_....abcd"), "_....abcd...........");
}

// Threads that make their first hashes together share the engine's tables
// and keep their own results.
TEST(PasswdCrypt, ConcurrentCallsKeepTheirOwnResults)
{
    const char *settings[] = {"ab", "_J9..CCCC", "zz", "_/1..abcd"};
    std::vector<std::string> expected;
    for (int t = 0; t < 4; ++t)
        expected.push_back(system_crypt("thread " + std::to_string(t), settings[t]));
    std::vector<int> mismatches(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            const std::string passwd = "thread " + std::to_string(t);
            for (int i = 0; i < rounds(50); ++i)
                mismatches[t] += hash_of(passwd, settings[t]) != expected[t];
        });
    }
    for (auto &th : threads)
        th.join();
    EXPECT_EQ(mismatches, std::vector<int>(4, 0));
}
