// Password hashing: the salted DES engine, the DES-based and "$1$" MD5-based
// crypt formats, salts for them and verification of stored hashes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/crypt64_alphabet.h"
#include "dessec.h"

namespace dessec {

// 6-bit value of a crypt64 character; 0 for any other byte, those of 128 and
// more included.
unsigned crypt64_value(unsigned char c);

// ---------------------------------------------------------------- salted DES engine

// 64 bits as two 32-bit words in one: word 0 is bits 0-31, word 1 bits 32-63,
// and position p is bit p, so byte g of the value is bits 8g to 8g + 7 on
// every host.
using working_value = std::uint64_t;

// Subkey i + 1 of the key in spread form at entry i. Belongs to its caller.
struct salted_des_key_schedule {
    working_value subkey[16];
};

// Key schedule of an 8-byte DES key; parity bits are ignored, weak keys taken.
void salted_des_load_key(const unsigned char key[8], salted_des_key_schedule &schedule);

// DES with salt bits 0-23 exchanging E output bits b + 1 and b + 25 for each
// set bit b, run |count| times: encryption for count > 0, decryption for
// count < 0, the input unchanged for 0. in and out may be the same block.
void salted_des_iterate(const unsigned char in[8], unsigned char out[8], std::uint32_t salt,
                        std::int32_t count, const salted_des_key_schedule &schedule);

// ---------------------------------------------------------------- crypt formats

inline constexpr std::size_t passwd_crypt_output_size = DESSEC_CRYPT_BUFFER;
inline constexpr std::size_t md5_crypt_output_size = 120;

// The DES-based hash text of a password under a two-character or "_" setting,
// in a buffer of the calling thread that its next call overwrites; null when
// the thread has none (Windows, out of memory). A null key or setting reads
// as the empty text.
char *passwd_des_crypt(const char *key, const char *setting);

// Iteration count of an extended setting, read from its characters 1 to 4
// as passwd_des_crypt reads them.
std::uint32_t extended_setting_count(const char *setting);

// The "$1$" hash text, in a buffer of the calling thread that its next call
// overwrites; null when the thread has none. Neither argument may be null.
char *passwd_md5_crypt(const char *passwd, const char *setting);

// ---------------------------------------------------------------- verification

// 1 when the n bytes at a and b are equal, else 0; time and memory accesses
// do not depend on the bytes.
int hash_texts_equal(const char *a, const char *b, std::size_t n);

// verify_stored_hash's copies of the stored text and of the computed text,
// each zero behind its text. A hash text has at most 34 characters, so 51
// characters of a stored text reach past any comma that can matter.
inline constexpr std::size_t stored_copy_size = 52;
inline constexpr std::size_t result_copy_size = 128;

// The comparison step of verify_stored_hash: 1 when the two copies hold the
// same text, else 0, in constant time.
int copies_match(const char (&result_copy)[result_copy_size], const char (&stored_copy)[stored_copy_size]);

int verify_stored_hash(const char *passwd, const char *stored);

// ---------------------------------------------------------------- salts

// A random two-character salt of the DES-based hash and a NUL: 1 when both
// characters are letters, else 0.
int make_salt(char *salt);

}  // namespace dessec
