// Random two-character salts of the DES-based hash.
#include <openssl/rand.h>

#include "common/libcrypto_ready.h"
#include "dessec.h"
#include "passwd/passwd.h"

namespace dessec {
namespace {

bool is_ascii_letter(char c)
{
    return static_cast<unsigned char>((c | 0x20) - 'a') < 26;
}

}  // namespace

// 12 bits from the secure generator; ".." and 0 should it fail.
int make_salt(char *salt)
{
    if (salt == nullptr)
        return 0;
    unsigned char r[2];
    salt[2] = '\0';
    if (!libcrypto_ready() || RAND_bytes(r, sizeof r) != 1) {
        salt[0] = salt[1] = '.';
        return 0;
    }
    salt[0] = crypt64_alphabet[r[0] & 63u];
    salt[1] = crypt64_alphabet[(r[0] >> 6 | r[1] << 2) & 63u];
    return is_ascii_letter(salt[0]) && is_ascii_letter(salt[1]) ? 1 : 0;
}

}  // namespace dessec

extern "C" {

DESSEC_API int passwd_saltgen(char *salt)
{
    return dessec::make_salt(salt);
}

}  // extern "C"
