// The "$1$" MD5-based password hash, computed only to check stored hashes.
#include "passwd/passwd.h"

#include <algorithm>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/md5.h>

namespace dessec {
namespace {

constexpr char md5_prefix[] = "$1$";
constexpr std::size_t md5_prefix_len = 3;
constexpr std::size_t md5_max_salt = 8;
constexpr int md5_rounds = 1000;

thread_local char md5_crypt_output[md5_crypt_output_size];

// The salt starts behind an optional "$1$" and ends before the first "$", at
// the NUL or after 8 characters; any other byte is taken as it is.
const char *md5_salt(const char *setting, std::size_t &len)
{
    if (std::strncmp(setting, md5_prefix, md5_prefix_len) == 0)
        setting += md5_prefix_len;
    len = 0;
    while (len < md5_max_salt && setting[len] != '\0' && setting[len] != '$')
        ++len;
    return setting;
}

// Digest bytes in groups of three, the first byte most significant, each
// group written as four characters from its least significant 6 bits up;
// byte 11 alone gives two characters.
void encode_digest(const unsigned char d[16], char *text)
{
    static constexpr unsigned char groups[5][3] = {{0, 6, 12}, {1, 7, 13}, {2, 8, 14}, {3, 9, 15}, {4, 10, 5}};
    for (const auto &g : groups) {
        std::uint32_t v = std::uint32_t{d[g[0]]} << 16 | std::uint32_t{d[g[1]]} << 8 | d[g[2]];
        for (int i = 0; i < 4; ++i, v >>= 6)
            *text++ = crypt64_alphabet[v & 63u];
    }
    text[0] = crypt64_alphabet[d[11] & 63u];
    text[1] = crypt64_alphabet[d[11] >> 6];
}

}  // namespace

char *passwd_md5_crypt(const char *passwd, const char *setting)
{
    const auto *p = reinterpret_cast<const unsigned char *>(passwd);
    const std::size_t n = std::strlen(passwd);
    std::size_t s_len;
    const char *s = md5_salt(setting, s_len);

    MD5_CTX main_ctx, ctx;
    unsigned char x[MD5_DIGEST_LENGTH], d[MD5_DIGEST_LENGTH];
    MD5_Init(&main_ctx);
    MD5_Update(&main_ctx, p, n);
    MD5_Update(&main_ctx, md5_prefix, md5_prefix_len);
    MD5_Update(&main_ctx, s, s_len);

    MD5_Init(&ctx);
    MD5_Update(&ctx, p, n);
    MD5_Update(&ctx, s, s_len);
    MD5_Update(&ctx, p, n);
    MD5_Final(x, &ctx);

    // All of X once per 16 password bytes, then the first n mod 16 bytes.
    for (std::size_t r = n; r > 0; r -= std::min<std::size_t>(r, 16))
        MD5_Update(&main_ctx, x, std::min<std::size_t>(r, 16));
    // One byte per bit of n up to its highest 1, the lowest bit first: a zero
    // byte for a 1 bit, the password's first byte for a 0 bit.
    std::memset(x, 0, sizeof x);
    for (std::size_t v = n; v != 0; v >>= 1)
        MD5_Update(&main_ctx, (v & 1) ? x : p, 1);
    MD5_Final(d, &main_ctx);

    for (int i = 0; i < md5_rounds; ++i) {
        MD5_Init(&ctx);
        if (i % 2)
            MD5_Update(&ctx, p, n);
        else
            MD5_Update(&ctx, d, sizeof d);
        if (i % 3)
            MD5_Update(&ctx, s, s_len);
        if (i % 7)
            MD5_Update(&ctx, p, n);
        if (i % 2)
            MD5_Update(&ctx, d, sizeof d);
        else
            MD5_Update(&ctx, p, n);
        MD5_Final(d, &ctx);
    }

    char *text = md5_crypt_output;
    std::memcpy(text, md5_prefix, md5_prefix_len);
    std::memcpy(text + md5_prefix_len, s, s_len);
    text[md5_prefix_len + s_len] = '$';
    encode_digest(d, text + md5_prefix_len + s_len + 1);
    text[md5_prefix_len + s_len + 1 + 22] = '\0';

    OPENSSL_cleanse(&main_ctx, sizeof main_ctx);
    OPENSSL_cleanse(&ctx, sizeof ctx);
    OPENSSL_cleanse(x, sizeof x);
    OPENSSL_cleanse(d, sizeof d);
    return text;
}

}  // namespace dessec
