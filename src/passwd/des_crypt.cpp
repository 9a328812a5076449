// The DES-based password hash: a two-character salt with 25 passes over the
// first 8 password characters, or the extended "_" setting with a 24-bit
// salt, a count of its own and every password character folded in.
#include "passwd/passwd.h"

#include <cstring>

#include <openssl/crypto.h>

#include "dessec.h"
#include "passwd/thread_results.h"

namespace dessec {
namespace {

constexpr unsigned char crypt_zero_block[8] = {};
constexpr std::int32_t traditional_count = 25;

// XORs the next eight password characters, each shifted left by one bit
// (bit 7 is lost), into the key bytes. The cursor stops at the password's
// NUL, so the places past its end take 0; a character of code 128 gives 0
// but still takes its place.
void fold_next_chars(const unsigned char *&cursor, unsigned char key_bytes[8])
{
    for (int i = 0; i < 8; ++i) {
        key_bytes[i] ^= static_cast<unsigned char>(*cursor << 1);
        if (*cursor != 0)
            ++cursor;
    }
}

// Setting characters 0 to n - 1, each position at or after the setting's NUL
// read as "."; the setting is never read past its NUL.
void read_setting(const char *setting, char *chars, int n)
{
    bool ended = false;
    for (int i = 0; i < n; ++i) {
        ended = ended || setting[i] == '\0';
        chars[i] = ended ? '.' : setting[i];
    }
}

// The value of n crypt64 digits, the first one least significant.
std::uint32_t crypt64_number(const char *digits, int n)
{
    std::uint32_t value = 0;
    for (int i = n - 1; i >= 0; --i)
        value = value * 64 + crypt64_value(static_cast<unsigned char>(digits[i]));
    return value;
}

void put_crypt64_digits(std::uint32_t value, int digits, char *text)
{
    for (int i = digits - 1; i >= 0; --i) {
        text[i] = crypt64_alphabet[value & 63u];
        value >>= 6;
    }
}

// The 64 bits, most significant first, and two zero bits as 11 characters of
// 6 bits each; the last character's value is a multiple of 4.
void encode_block(const unsigned char block[8], char *text)
{
    const auto three_bytes = [&](int at) {
        return std::uint32_t{block[at]} << 16 | std::uint32_t{block[at + 1]} << 8 | block[at + 2];
    };
    put_crypt64_digits(three_bytes(0), 4, text);
    put_crypt64_digits(three_bytes(3), 4, text + 4);
    put_crypt64_digits((std::uint32_t{block[6]} << 8 | block[7]) << 2, 3, text + 8);
}

}  // namespace

std::uint32_t extended_setting_count(const char *setting)
{
    char chars[5];
    read_setting(setting, chars, 5);
    return crypt64_number(chars + 1, 4);
}

char *passwd_des_crypt(const char *key, const char *setting)
{
    const auto *cursor = reinterpret_cast<const unsigned char *>(key ? key : "");
    if (setting == nullptr)
        setting = "";
    thread_results *const results = this_thread_results();
    if (results == nullptr)
        return nullptr;
    char *const out = results->des_crypt;
    unsigned char password_key_bytes[8] = {};
    salted_des_key_schedule schedule;
    fold_next_chars(cursor, password_key_bytes);
    salted_des_load_key(password_key_bytes, schedule);

    std::uint32_t salt;
    std::int32_t count;
    int hash_at;
    if (setting[0] == '_') {
        // Each further group of 8 characters is folded into the key block
        // after the block has been encrypted under the key made from itself.
        while (*cursor != 0) {
            salted_des_iterate(password_key_bytes, password_key_bytes, 0, 1, schedule);
            fold_next_chars(cursor, password_key_bytes);
            salted_des_load_key(password_key_bytes, schedule);
        }
        read_setting(setting, out, 9);
        count = static_cast<std::int32_t>(crypt64_number(out + 1, 4));
        salt = crypt64_number(out + 5, 4);
        hash_at = 9;
    } else {
        read_setting(setting, out, 2);
        count = traditional_count;
        salt = crypt64_number(out, 2);
        hash_at = 2;
    }

    unsigned char block[8];
    salted_des_iterate(crypt_zero_block, block, salt, count, schedule);
    encode_block(block, out + hash_at);
    out[hash_at + 11] = '\0';
    OPENSSL_cleanse(password_key_bytes, sizeof password_key_bytes);
    OPENSSL_cleanse(&schedule, sizeof schedule);
    OPENSSL_cleanse(block, sizeof block);
    return out;
}

}  // namespace dessec

namespace {

// What passwd_crypt returns when its thread has no result buffer: a text that
// no hash equals, and not the start of the setting, so that a caller who
// compares the result with a stored text never sees a match.
char no_hash_texts[2][3] = {"*0", "*1"};

}  // namespace

extern "C" DESSEC_API char *passwd_crypt(const char *key, const char *setting)
{
    char *const hash = dessec::passwd_des_crypt(key, setting);
    if (hash != nullptr)
        return hash;
    return no_hash_texts[setting != nullptr && std::strncmp(setting, "*0", 2) == 0];
}
