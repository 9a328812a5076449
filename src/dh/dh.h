// Diffie-Hellman on hexadecimal texts: fixed-width big numbers, the modular
// power, and key pairs in the library's fixed group.
#pragma once

#include <cstdint>

namespace dessec {

inline constexpr std::int32_t dh_width = 25;          // bytes of every number in a dh call
inline constexpr std::int32_t dh_slot_size = 1024;    // room of a number slot; widths 1 to 1024 work
inline constexpr int dh_secret_digits = 48;           // digits of a secret key
inline constexpr int dh_key_text_size = 49;           // bytes of a key text buffer, NUL included

// The fixed group's base "3" and 192-bit modulus; calls work on copies.
extern char dh_base_text[256];
extern char dh_modulus_text[256];

// The state of one dh call. Numbers are unsigned, most significant byte
// first, and only the first `width` bytes of a slot take part. The loop state
// of the operations below lives here: the exponentiation steps with `index`,
// big_mul_mod inside it with `counter`, and the byte passes with `position`
// and `carry`; parsing uses `index` and `counter`, printing `index` alone.
struct dh_workspace {
    unsigned char modulus[dh_slot_size];  // big_reduce_once compares against and subtracts this slot
    unsigned char base[dh_slot_size];     // squared in place at every step
    unsigned char exponent[dh_slot_size]; // shifted right by one bit at every step
    unsigned char result[dh_slot_size];   // running result, starting at 1
    std::int32_t index;
    std::int32_t position;
    std::int32_t carry;                   // -1, 0 or 1 in an add pass; 0 or 0x100 in a shift pass
    std::int32_t counter;
    std::int32_t width;
};

// The arithmetic is modulo 2^(8 * width); any number argument may alias another.
// destination := destination + multiplier * source. Multipliers in use: 1 and
// -1, or 0 in their place as a mask that leaves the destination alone.
void big_add_multiple(unsigned char *destination, const unsigned char *source, std::int32_t multiplier,
                      dh_workspace &ws);
// number := number - modulus when number >= modulus.
void big_reduce_once(unsigned char *number, dh_workspace &ws);
// number := number / 2, rounded down.
void big_shift_right(unsigned char *number, dh_workspace &ws);
// accumulator := accumulator * factor mod modulus, exact for factor < modulus < 2^(8 * width - 1).
void big_mul_mod(unsigned char *accumulator, const unsigned char *factor, dh_workspace &ws);
// destination := value of the text; consumed characters get bit 0x20 set in
// place, written back only where that changes them.
void big_from_hex(char *text, unsigned char *destination, dh_workspace &ws);
// Upper-case digits without leading zero bytes and a NUL; nothing at all for zero.
void big_to_hex(const unsigned char *number, char *out, dh_workspace &ws);

// The character of a nibble: "0" to "9", then `ten` and the letters after it.
inline char dh_digit(unsigned nibble, char ten)
{
    return static_cast<char>('0' + nibble + static_cast<unsigned>(nibble > 9) * (ten - '0' - 10));
}

// The work behind the exports, for calls from elsewhere in the library.
void dh_power(char *base, char *exponent, char *modulus, char *out);
int dh_generate_key_pair(char *secret, char *public_key);

}  // namespace dessec
