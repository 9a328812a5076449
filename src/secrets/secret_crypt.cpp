#include "secrets/secrets.h"

#include <cstddef>
#include <cstring>

#include <openssl/crypto.h>

#include "common/scratch.h"
#include "des/des_block.h"
#include "dessec.h"

namespace dessec {
namespace {

constexpr std::size_t key_password_chars = 8;
constexpr std::size_t record_digits = DESSEC_RECORD_DIGITS;
constexpr std::size_t secret_key_digits = DESSEC_SECRET_KEY_DIGITS;
constexpr std::size_t check_digits = 16;

// DES-CBC over the bytes that the text encodes, from a zero vector, written
// back as lower-case digits. A last odd character encodes nothing, so the
// NUL lands on it. Texts of 0 or 1 character need no buffer and become empty.
int crypt_hex_secret(char *secret, const char *passwd, unsigned int mode)
{
    const std::size_t n = std::strlen(secret) / 2;
    if (n == 0) {
        secret[0] = '\0';
        return 1;
    }
    // cbc_crypt refuses these too; checked here so that n fits its length argument.
    if (n > des_max_request_length)
        return 0;
    auto *buffer = static_cast<unsigned char *>(scratch_alloc(n));
    if (buffer == nullptr)
        return 0;
    const int count = static_cast<int>(n);
    hex_to_bytes(count, secret, buffer);

    char key[8];
    password_to_des_key(passwd, key);
    char iv[8] = {};
    const int status = des_cbc_crypt(key, reinterpret_cast<char *>(buffer), static_cast<unsigned int>(n), mode, iv);
    OPENSSL_cleanse(key, sizeof key);

    const bool done = status <= des_status_done;
    if (done)
        bytes_to_hex(count, buffer, secret);
    scratch_free(buffer, n);
    return done ? 1 : 0;
}

}  // namespace

// Shifting drops bit 7 of the character and parity then clears its bit 6 in
// the key's bit 7: only the low six bits of each character count.
void password_to_des_key(const char *passwd, char key[8])
{
    std::memset(key, 0, 8);
    for (std::size_t i = 0; i < key_password_chars && passwd[i] != '\0'; ++i)
        key[i] = static_cast<char>(static_cast<unsigned char>(passwd[i]) << 1);
    des_set_odd_parity(key);
}

int encrypt_hex_secret(char *secret, const char *passwd)
{
    return crypt_hex_secret(secret, passwd, des_mode_encrypt);
}

int decrypt_hex_secret(char *secret, const char *passwd)
{
    return crypt_hex_secret(secret, passwd, des_mode_decrypt);
}

// A record that is too short or cannot be decrypted fails untouched; one that
// decrypts but fails the check is left decrypted, as stored callers expect.
int open_secret_key_record(char *record, const char *passwd)
{
    if (strnlen(record, record_digits) < record_digits)
        return 0;
    if (!decrypt_hex_secret(record, passwd))
        return 0;
    if (CRYPTO_memcmp(record, record + secret_key_digits, check_digits) != 0)
        return 0;
    record[secret_key_digits] = '\0';
    return 1;
}

}  // namespace dessec

extern "C" {

DESSEC_API int xencrypt(char *secret, const char *passwd)
{
    return dessec::encrypt_hex_secret(secret, passwd);
}

DESSEC_API int xdecrypt(char *secret, const char *passwd)
{
    return dessec::decrypt_hex_secret(secret, passwd);
}

DESSEC_API int decrypt_secret_key(char *secret, const char *passwd)
{
    return dessec::open_secret_key_record(secret, passwd);
}

}  // extern "C"
