// The modular power on hexadecimal texts and key pairs in the fixed group.
#include "dh/dh.h"

#include <algorithm>
#include <cstring>

#include <openssl/crypto.h>
#include <openssl/rand.h>

#include "common/libcrypto_ready.h"
#include "common/scratch.h"
#include "dessec.h"
#include "dh/group.h"

namespace dessec {

namespace {

constexpr int dh_random_bytes = dh_secret_digits / 2;

// base := base mod modulus by long division, one bit of the base at a time
// from the top, built up in the result slot. The remainder never exceeds the
// part of the base read so far, so its doubling cannot pass the width, whatever
// the modulus. A zero modulus leaves the base as it is.
void reduce_base(dh_workspace &ws)
{
    const auto width = static_cast<std::size_t>(ws.width);
    std::memset(ws.result, 0, width);
    for (ws.index = 8 * ws.width - 1; ws.index >= 0; --ws.index) {
        const auto next_bit = static_cast<unsigned char>(ws.base[0] >> 7);
        big_add_multiple(ws.base, ws.base, 1, ws);
        big_add_multiple(ws.result, ws.result, 1, ws);
        ws.result[width - 1] |= next_bit;
        big_reduce_once(ws.result, ws);
    }
    std::memcpy(ws.base, ws.result, width);
}

// Right-to-left square-and-multiply over all 8 * width exponent bits. The
// product by the base is made at every step and kept or dropped by a mask, so
// neither time nor memory access depends on the exponent.
void exponentiate(dh_workspace &ws)
{
    unsigned char product[dh_slot_size];
    const auto width = static_cast<std::size_t>(ws.width);
    std::memset(ws.result, 0, width);
    ws.result[width - 1] = 1;
    for (ws.index = 8 * ws.width - 1; ws.index >= 0; --ws.index) {
        const auto keep = static_cast<unsigned char>(-(ws.exponent[width - 1] & 1));
        std::memcpy(product, ws.result, width);
        big_mul_mod(product, ws.base, ws);
        for (ws.position = 0; ws.position < ws.width; ++ws.position)
            ws.result[ws.position] ^= (ws.result[ws.position] ^ product[ws.position]) & keep;
        big_mul_mod(ws.base, ws.base, ws);
        big_shift_right(ws.exponent, ws);
    }
    OPENSSL_cleanse(product, width);
}

// Whether the base is exactly the group's, 3. The base of dh is public (3,
// or a peer's public key), so the choice of step may depend on it; the steps
// may not.
bool base_is_three(const dh_workspace &ws)
{
    const auto last = static_cast<std::size_t>(ws.width - 1);
    unsigned others = 0;
    for (std::size_t k = 0; k < last; ++k)
        others |= ws.base[k];
    return others == 0 && ws.base[last] == dh_group_base[0];
}

bool fixed_base_step(dh_workspace &ws) { return base_is_three(ws) && dh_exponentiate_fixed_base(ws); }

// The best step: base 3 under the group's modulus (every key generation)
// reads a table of powers of 3 built once, 50 multiplications and no
// squarings; another odd modulus from 3 to 2^199 - 1 takes Montgomery
// multiplication on 64-bit words (unrolled for three words below 2^192, with
// mulx/adcx/adox where the processor has them); anything else, the bit-serial
// arithmetic on 25 bytes. Every step writes the same text.
bool exponentiate_on(dh_path path, dh_workspace &ws)
{
    switch (path) {
    case dh_path::fast:
        return dh_exponentiate_fast(ws);
    case dh_path::fixed_base:
        return fixed_base_step(ws);
    case dh_path::generic:
        break;
    case dh_path::best:
        if (fixed_base_step(ws) || dh_exponentiate_fast(ws))
            return true;
        break;
    }
    dh_exponentiate_generic(ws);
    return true;
}

// The hexadecimal places above a text of `length` characters that its value
// cannot reach: a character's stray bits reach one place above its own, so
// the places from length + 1 up are zero.
std::int32_t unused_places(std::size_t length, const dh_workspace &ws)
{
    const auto places = 2 * static_cast<std::size_t>(ws.width);
    return static_cast<std::int32_t>(places - std::min(length + 1, places));
}

void write_secret_digits(const unsigned char *random, char *secret)
{
    for (int i = 0; i < dh_random_bytes; ++i) {
        secret[2 * i] = dh_digit(random[i] >> 4, 'a');
        secret[2 * i + 1] = dh_digit(random[i] & 15u, 'a');
    }
}

// Rewrites "A" to "Z" as "a" to "z" up to the NUL.
void dh_lowercase_in_place(char *text)
{
    for (; *text != '\0'; ++text) {
        if (*text >= 'A' && *text <= 'Z')
            *text = static_cast<char>(*text - 'A' + 'a');
    }
}

}  // namespace

// The base is reduced before the exponentiation, so every factor of the
// multiplications is below the modulus: the result is the modular power for
// a modulus below 2^199, and below any non-zero modulus (the 1 of a zero
// exponent aside), so that it takes at most 51 bytes, and 49 under a
// 192-bit modulus.
void dh_exponentiate_generic(dh_workspace &ws)
{
    reduce_base(ws);
    exponentiate(ws);
}

bool dh_power(char *base, char *exponent, char *modulus, char *out, dh_path path)
{
    auto *ws = static_cast<dh_workspace *>(scratch_alloc(sizeof(dh_workspace)));
    if (ws == nullptr)
        return false;
    ws->width = dh_width;
    big_from_hex(base, ws->base, *ws);
    ws->exponent_unused_places = unused_places(big_from_hex(exponent, ws->exponent, *ws), *ws);
    big_from_hex(modulus, ws->modulus, *ws);
    const bool done = exponentiate_on(path, *ws);
    if (done)
        big_to_hex(ws->result, out, *ws);
    scratch_free(ws, sizeof(dh_workspace));
    return done;
}

// The secret digits come from libcrypto's generator; the C library's
// generator is neither seeded nor drawn from. -1 when libcrypto cannot start
// or its generator fails.
int dh_generate_key_pair(char *secret, char *public_key)
{
    std::memset(secret, 0, dh_key_text_size);
    unsigned char random[dh_random_bytes];
    const bool drawn = libcrypto_ready() && RAND_bytes(random, dh_random_bytes) == 1;
    if (drawn)
        write_secret_digits(random, secret);
    OPENSSL_cleanse(random, sizeof random);
    std::memset(public_key, 0, dh_key_text_size);
    if (!drawn)
        return -1;

    // dh rewrites its texts in place: it gets copies of the group's.
    char base[] = DESSEC_DH_BASE;
    char modulus[] = DESSEC_DH_MODULUS;
    dh_power(base, secret, modulus, public_key);
    dh_lowercase_in_place(public_key);
    return public_key[0] != '\0' && secret[0] != '\0' ? 0 : -1;
}

}  // namespace dessec

extern "C" {

DESSEC_API void dh(char *base, char *exponent, char *modulus, char *out)
{
    dessec::dh_power(base, exponent, modulus, out);
}

DESSEC_API int dh_keysGenerator(char *secret, char *public_key)
{
    return dessec::dh_generate_key_pair(secret, public_key);
}

}  // extern "C"
