// Diffie-Hellman on hexadecimal texts: fixed-width big numbers, the modular
// power, and key pairs in the library's fixed group.
#pragma once

#include <cstddef>
#include <cstdint>

#include "dessec.h"

namespace dessec {

inline constexpr std::int32_t dh_width = 25;          // bytes of every number in a dh call
inline constexpr std::int32_t dh_slot_size = 1024;    // room of a number slot; widths 1 to 1024 work
inline constexpr int dh_secret_digits = DESSEC_SECRET_KEY_DIGITS;  // digits of a secret key
inline constexpr int dh_key_text_size = DESSEC_KEY_BUFFER;         // bytes of a key text buffer, NUL included

// The state of one dh call. Numbers are unsigned, most significant byte
// first, and only the first `width` bytes of a slot take part. The loop state
// of the bit-serial operations below lives here: the generic exponentiation
// steps with `index`, big_mul_mod inside it with `counter`, and the byte
// passes with `position` and `carry`; printing uses `index` alone.
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
    // Hexadecimal places of the exponent, from the top, that its text cannot
    // reach: the text's length is public, unlike its digits, so the fast
    // steps may skip them. 0 (the safe value) when nobody has counted.
    std::int32_t exponent_unused_places;
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
// place, written back only where that changes them. Returns the count of
// characters consumed.
std::size_t big_from_hex(char *text, unsigned char *destination, dh_workspace &ws);
// Upper-case digits without leading zero bytes and a NUL; nothing at all for zero.
void big_to_hex(const unsigned char *number, char *out, dh_workspace &ws);

// A mask of all ones or all zeros, hidden from the optimizer, which would
// otherwise see the comparison it comes from and may turn the masked
// selection back into a branch or a conditional load.
template <typename Mask>
inline Mask dh_opaque_mask(Mask mask)
{
    __asm__("" : "+r"(mask));
    return mask;
}

// The character of a nibble: "0" to "9", then `ten` and the letters after it.
inline char dh_digit(unsigned nibble, char ten)
{
    return static_cast<char>('0' + nibble + static_cast<unsigned>(nibble > 9) * (ten - '0' - 10));
}

// a * b + c + d as two 64-bit words, which it always fits: dh_mul_add takes
// the compiler's 128-bit type where there is one, and dh_mul_add_halves,
// built from products of 32-bit halves, where there is none (the 32-bit
// Windows build).
struct dh_wide {
    std::uint64_t low, high;
};

inline dh_wide dh_mul_add_halves(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
{
    constexpr std::uint64_t half = 0xFFFFFFFFu;
    const std::uint64_t a0 = a & half, a1 = a >> 32, b0 = b & half, b1 = b >> 32;
    const std::uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    // Every sum below stays under 2^64: (2^32 - 1)^2 + 2 * (2^32 - 1) = 2^64 - 1.
    const std::uint64_t t0 = p00 + (c & half) + (d & half);
    const std::uint64_t t1 = (t0 >> 32) + (p01 & half) + (p10 & half) + (c >> 32) + (d >> 32);
    const std::uint64_t t2 = (t1 >> 32) + (p01 >> 32) + (p10 >> 32) + (p11 & half);
    const std::uint64_t t3 = (t2 >> 32) + (p11 >> 32);
    return {(t0 & half) | (t1 << 32), (t2 & half) | (t3 << 32)};
}

inline dh_wide dh_mul_add(std::uint64_t a, std::uint64_t b, std::uint64_t c, std::uint64_t d)
{
#ifdef __SIZEOF_INT128__
    const unsigned __int128 t = static_cast<unsigned __int128>(a) * b + c + d;
    return {static_cast<std::uint64_t>(t), static_cast<std::uint64_t>(t >> 64)};
#else
    return dh_mul_add_halves(a, b, c, d);
#endif
}

// The exponentiation step of dh on the parsed numbers: result := base ^
// exponent mod modulus over all 8 * width exponent bits, exact for a modulus
// below 2^199; exponent 0 gives 1 whatever the modulus. Neither branches nor
// indexes memory by the exponent, the base or any value derived from them.
//
// The generic step works for any modulus with the bit-serial byte arithmetic
// above; it reduces the base in full first.
void dh_exponentiate_generic(dh_workspace &ws);
// The fast step: Montgomery multiplication on 64-bit words (three of them
// below 2^192, four above), for width 25 and an odd modulus from 3 to
// 2^199 - 1, where it gives exactly what the generic step gives. Returns
// false, having changed nothing, for any other modulus.
bool dh_exponentiate_fast(dh_workspace &ws);
// The fixed-base step of key generation: result := 3 ^ exponent mod the
// fixed group's modulus, from a table of powers of 3 built once, for width
// 25 and the group's modulus, where it gives exactly what the other steps
// give for base 3. The base slot is not read: the caller has seen that it
// holds 3. Returns false, having changed nothing, for any other modulus.
bool dh_exponentiate_fixed_base(dh_workspace &ws);
// Test hook: false makes the three-word steps take their portable code even
// where the processor has the instructions of the faster one (the default,
// true, lets them choose).
void dh_allow_carry_chains(bool allow);

// Which exponentiation step dh_power takes: the fixed-base one for base 3
// under the group's modulus, else the fast one where the modulus allows it,
// else the generic one (what dh does); or one of the three.
enum class dh_path { best, generic, fast, fixed_base };

// The work behind the exports, for calls from elsewhere in the library:
// parse the three texts, exponentiate, print. Returns false, with nothing
// written to out, when the workspace cannot be allocated or when path is
// fast or fixed_base and the numbers are outside it.
bool dh_power(char *base, char *exponent, char *modulus, char *out, dh_path path = dh_path::best);
int dh_generate_key_pair(char *secret, char *public_key);

}  // namespace dessec
