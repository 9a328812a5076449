// Checking a password against a stored hash.
#include <cstring>

#include <openssl/crypto.h>

#include "dessec.h"
#include "passwd/passwd.h"

namespace dessec {
namespace {

constexpr std::size_t md5_setting_len = 11;
constexpr std::size_t extended_setting_len = 9;
constexpr std::size_t traditional_setting_len = 2;

// The stored text up to its first comma, at most size - 1 characters, and
// zero bytes behind it to the end of the copy.
void copy_stored_text(const char *stored, char *copy, std::size_t size)
{
    std::size_t len = 0;
    while (len < size - 1 && stored[len] != '\0' && stored[len] != ',')
        ++len;
    std::memcpy(copy, stored, len);
    std::memset(copy + len, 0, size - len);
}

// The first len characters of the zero-padded stored copy, or fewer when it
// is shorter, become the setting.
template <std::size_t Len>
struct setting_text {
    char chars[Len + 1] = {};
    explicit setting_text(const char *stored_copy) { std::memcpy(chars, stored_copy, Len); }
};

// "$" leads to the MD5-based hash, anything else to the DES-based one. An
// extended setting that decodes to count 0 would hash every password to the
// zero block, so no password matches it. Null when nothing is to be compared.
const char *computed_hash(const char *passwd, const char *stored_copy)
{
    if (stored_copy[0] == '$')
        return passwd_md5_crypt(passwd, setting_text<md5_setting_len>(stored_copy).chars);
    if (stored_copy[0] == '_') {
        const setting_text<extended_setting_len> setting(stored_copy);
        if (extended_setting_count(setting.chars) == 0)
            return nullptr;
        return passwd_des_crypt(passwd, setting.chars);
    }
    return passwd_des_crypt(passwd, setting_text<traditional_setting_len>(stored_copy).chars);
}

}  // namespace

int hash_texts_equal(const char *a, const char *b, std::size_t n)
{
    unsigned diff = 0;
    for (std::size_t i = 0; i < n; ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return static_cast<int>(((diff - 1u) >> 8) & 1u);
}

// Both copies are zero behind their texts and a computed text has at most 34
// characters, so the first 52 bytes of the copies are equal exactly when the
// texts are equal up to and including their NULs.
int copies_match(const char (&result_copy)[result_copy_size], const char (&stored_copy)[stored_copy_size])
{
    static_assert(stored_copy_size <= result_copy_size);
    return hash_texts_equal(result_copy, stored_copy, stored_copy_size);
}

int verify_stored_hash(const char *passwd, const char *stored)
{
    if (passwd == nullptr || stored == nullptr)
        return 0;
    char stored_copy[stored_copy_size];
    copy_stored_text(stored, stored_copy, sizeof stored_copy);
    const char *computed = computed_hash(passwd, stored_copy);
    if (computed == nullptr) {
        OPENSSL_cleanse(stored_copy, sizeof stored_copy);
        return 0;
    }
    char result_copy[result_copy_size] = {};
    std::strncpy(result_copy, computed, sizeof result_copy - 1);
    const int match = copies_match(result_copy, stored_copy);
    OPENSSL_cleanse(result_copy, sizeof result_copy);
    OPENSSL_cleanse(stored_copy, sizeof stored_copy);
    return match;
}

}  // namespace dessec

extern "C" {

DESSEC_API int passwd_verify(const char *passwd, const char *stored)
{
    return dessec::verify_stored_hash(passwd, stored);
}

}  // extern "C"
