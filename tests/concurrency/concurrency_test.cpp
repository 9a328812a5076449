// Eight threads start together and call all 13 exports many times over the
// same few cases; every result must equal the single-threaded one computed
// beforehand. The password hashes take theirs from the system crypt library
// instead: their engine builds its tables at the first hash, and the threads
// are to race for that first build, so nothing in this process hashes before
// they start. Random key pairs are checked afterwards against OpenSSL.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <condition_variable>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include "../passwd/crypt_oracle.h"
#include "dessec.h"
#include "test_support.h"

using namespace dessec_test;

namespace {

constexpr int thread_count = 8;
constexpr int case_count = 5;
const std::string group_modulus = DESSEC_DH_MODULUS;

// One case's inputs and its single-threaded results.
struct work_case {
    bytes key, parity_key, plain, iv, ecb_out, cbc_out, cbc_iv_out;
    std::string plain_hex;
    std::string record, passwd, sealed_record;
    std::string traditional_setting, traditional_hash, extended_setting, extended_hash;
    std::string des_stored, md5_stored;
    std::string own_secret, other_public, common_key;
};

// dh on copies of the texts; the output, or "" when nothing was written.
std::string power(std::string base, std::string exponent, std::string modulus)
{
    char out[64] = {};
    dh(base.data(), exponent.data(), modulus.data(), out);
    return out;
}

// 3^secret mod the group's modulus by OpenSSL, as dh_keysGenerator writes it:
// lower case, whole bytes.
std::string group_power_of_three(const std::string &secret)
{
    BIGNUM *e = nullptr, *m = nullptr;
    BN_hex2bn(&e, secret.c_str());
    BN_hex2bn(&m, group_modulus.c_str());
    BIGNUM *r = BN_new(), *three = BN_new();
    BN_CTX *ctx = BN_CTX_new();
    BN_set_word(three, 3);
    BN_mod_exp(r, three, e, m, ctx);
    char *hex = BN_bn2hex(r);
    std::string out = hex;
    OPENSSL_free(hex);
    BN_CTX_free(ctx);
    BN_free(three);
    BN_free(r);
    BN_free(m);
    BN_free(e);
    for (auto &ch : out)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    return out;
}

std::string call_on_copy(int (*call)(char *, const char *), const std::string &text, const std::string &passwd,
                         int &result)
{
    std::vector<char> buffer(text.begin(), text.end());
    buffer.push_back('\0');
    result = call(buffer.data(), passwd.c_str());
    return buffer.data();
}

char *chars(bytes &b) { return reinterpret_cast<char *>(b.data()); }

work_case make_case(std::mt19937_64 &rng)
{
    work_case c;
    c.key = random_bytes(rng, 8);
    c.parity_key = c.key;
    des_setparity(chars(c.parity_key));
    c.plain = random_bytes(rng, 64);
    c.iv = random_bytes(rng, 8);
    c.ecb_out = c.plain;
    ecb_crypt(chars(c.key), chars(c.ecb_out), 64, des_mode_encrypt);
    c.cbc_out = c.plain;
    c.cbc_iv_out = c.iv;
    cbc_crypt(chars(c.key), chars(c.cbc_out), 64, des_mode_encrypt, chars(c.cbc_iv_out));
    c.plain_hex = to_hex(c.plain);

    const std::string secret = to_hex(random_bytes(rng, 24));
    c.record = secret + secret.substr(0, 16);
    c.passwd = random_text(rng, 4 + rng() % 12, 33, 126);
    int result = 0;
    c.sealed_record = call_on_copy(xencrypt, c.record, c.passwd, result);

    c.traditional_setting = random_crypt64(rng, 2);
    c.traditional_hash = system_crypt(c.passwd, c.traditional_setting);
    c.extended_setting = "_J9.." + random_crypt64(rng, 4);
    c.extended_hash = system_crypt(c.passwd, c.extended_setting);
    c.des_stored = system_crypt(c.passwd, random_crypt64(rng, 2));
    c.md5_stored = system_crypt(c.passwd, std::string("$1$").append(random_crypt64(rng, 8)));

    c.own_secret = to_hex(random_bytes(rng, 24));
    c.other_public = group_power_of_three(to_hex(random_bytes(rng, 24)));
    c.common_key = power(c.other_public, c.own_secret, group_modulus);
    return c;
}

// Holds the threads until all have arrived. Not std::latch: the atomic wait
// under it can miss a wake-up where there is no futex (mingw-w64's
// libstdc++ 12), and the test then hangs under Wine.
class start_gate {
public:
    explicit start_gate(int count) : waiting_(count) {}
    void arrive_and_wait()
    {
        std::unique_lock lock(mutex_);
        if (--waiting_ == 0)
            all_arrived_.notify_all();
        else
            all_arrived_.wait(lock, [this] { return waiting_ == 0; });
    }

private:
    std::mutex mutex_;
    std::condition_variable all_arrived_;
    int waiting_;
};

// Calls and mismatches of one thread, by export.
struct tally {
    long calls = 0;
    std::map<std::string, int> mismatches;
    const char *crypt_result = nullptr;
    std::vector<std::pair<std::string, std::string>> key_pairs;
    void check(const char *call, bool ok)
    {
        ++calls;
        if (!ok)
            ++mismatches[call];
    }
};

void run_des_calls(const work_case &c, tally &t)
{
    bytes key = c.key;
    bytes data = c.plain;
    t.check("ecb_crypt", ecb_crypt(chars(key), chars(data), 64, des_mode_encrypt) == des_status_done
                             && data == c.ecb_out);
    data = c.plain;
    bytes iv = c.iv;
    t.check("cbc_crypt", cbc_crypt(chars(key), chars(data), 64, des_mode_encrypt, chars(iv)) == des_status_done
                             && data == c.cbc_out && iv == c.cbc_iv_out);
    des_setparity(chars(key));
    t.check("des_setparity", key == c.parity_key);

    bytes decoded(64);
    hex2bin(64, c.plain_hex.c_str(), decoded.data());
    t.check("hex2bin", decoded == c.plain);
    std::string encoded(129, 'x');
    bin2hex(64, c.plain.data(), encoded.data());
    t.check("bin2hex", encoded.c_str() == c.plain_hex);
}

void run_secret_calls(const work_case &c, tally &t)
{
    int result = 0;
    const std::string sealed = call_on_copy(xencrypt, c.record, c.passwd, result);
    t.check("xencrypt", result == 1 && sealed == c.sealed_record);
    const std::string opened = call_on_copy(xdecrypt, c.sealed_record, c.passwd, result);
    t.check("xdecrypt", result == 1 && opened == c.record);
    const std::string key = call_on_copy(decrypt_secret_key, c.sealed_record, c.passwd, result);
    t.check("decrypt_secret_key", result == 1 && key == c.record.substr(0, DESSEC_SECRET_KEY_DIGITS));
}

// The two hashes of one thread come back in the same buffer, which shows
// the later one.
void run_password_calls(const work_case &c, tally &t)
{
    const char *traditional = passwd_crypt(c.passwd.c_str(), c.traditional_setting.c_str());
    t.check("passwd_crypt traditional", traditional == c.traditional_hash);
    const char *extended = passwd_crypt(c.passwd.c_str(), c.extended_setting.c_str());
    t.check("passwd_crypt extended", extended == c.extended_hash && traditional == extended);
    t.crypt_result = extended;

    t.check("passwd_verify DES", passwd_verify(c.passwd.c_str(), c.des_stored.c_str()) == 1);
    t.check("passwd_verify MD5", passwd_verify(c.passwd.c_str(), c.md5_stored.c_str()) == 1);
    t.check("passwd_verify wrong", passwd_verify((c.passwd + "!").c_str(), c.md5_stored.c_str()) == 0);

    char salt[4] = {'x', 'x', 'x', 'x'};
    const int letters = passwd_saltgen(salt);
    const auto is_letter = [](char ch) { return std::isalpha(static_cast<unsigned char>(ch)) != 0; };
    t.check("passwd_saltgen", salt[2] == '\0' && salt[3] == 'x' && std::strchr(dessec::crypt64_alphabet, salt[0])
                                  && std::strchr(dessec::crypt64_alphabet, salt[1])
                                  && letters == (is_letter(salt[0]) && is_letter(salt[1]) ? 1 : 0));
}

// A key pair is random; its public key is checked once the threads are done.
void run_dh_calls(const work_case &c, tally &t)
{
    t.check("dh", power(c.other_public, c.own_secret, group_modulus) == c.common_key);

    char secret[DESSEC_KEY_BUFFER], public_key[DESSEC_KEY_BUFFER];
    const int status = dh_keysGenerator(secret, public_key);
    const std::string s = secret, p = public_key;
    t.check("dh_keysGenerator", status == 0 && s.size() == DESSEC_SECRET_KEY_DIGITS && !p.empty() && p.size() <= DESSEC_SECRET_KEY_DIGITS
                                    && (s + p).find_first_not_of("0123456789abcdef") == std::string::npos);
    t.key_pairs.emplace_back(s, p);
}

}  // namespace

TEST(Concurrency, EveryExportGivesTheSingleThreadedResultsOnEightThreadsAtOnce)
{
    auto rng = seeded_rng(91);
    std::vector<work_case> cases;
    for (int i = 0; i < case_count; ++i)
        cases.push_back(make_case(rng));
    for (const auto &c : cases)
        ASSERT_FALSE(c.traditional_hash.empty() || c.extended_hash.empty() || c.md5_stored.empty());

    // A dh call costs milliseconds, the other calls microseconds.
    const int iterations = rounds(50), dh_iterations = rounds(2);
    std::vector<tally> tallies(thread_count);
    start_gate start(thread_count);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([&, t] {
            start.arrive_and_wait();
            for (int i = 0; i < iterations; ++i) {
                const work_case &c = cases[(t + i) % case_count];
                run_password_calls(c, tallies[t]);
                run_des_calls(c, tallies[t]);
                run_secret_calls(c, tallies[t]);
                if (i < dh_iterations)
                    run_dh_calls(c, tallies[t]);
            }
        });
    }
    for (auto &th : threads)
        th.join();

    long calls = 0;
    std::set<const char *> result_buffers;
    for (int t = 0; t < thread_count; ++t) {
        EXPECT_TRUE(tallies[t].mismatches.empty()) << "thread " << t << ", first mismatch in "
                                                   << tallies[t].mismatches.begin()->first;
        calls += tallies[t].calls;
        result_buffers.insert(tallies[t].crypt_result);
        for (const auto &[secret, public_key] : tallies[t].key_pairs)
            EXPECT_EQ(group_power_of_three(secret), public_key) << "thread " << t;
    }
    EXPECT_EQ(result_buffers.size(), static_cast<std::size_t>(thread_count)) << "one result buffer per thread";
    RecordProperty("threads", thread_count);
    RecordProperty("calls", std::to_string(calls));
}
