// Montgomery multiplication on 64-bit words for the fast exponentiation
// steps of dh: the word helpers, the generic N-word step and the windows of
// the exponent; montgomery.h adds the three-word steps. Numbers are held
// least significant word first, and every number between the steps is below
// the modulus. Nothing branches on or indexes memory by a value other than
// the modulus, which is public: conditional subtractions and table reads go
// through masks or conditional moves.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>

#include <openssl/crypto.h>

#include "dh/dh.h"

namespace dessec::mont {

using word = std::uint64_t;

inline constexpr int number_words = 4;  // a 25-byte number, 200 bits, in words
inline constexpr int window_bits = 4;   // a window is one hexadecimal digit of the exponent
inline constexpr int table_size = 1 << window_bits;
inline constexpr int windows = 8 * dh_width / window_bits;

template <int N>
struct montgomery {
    word modulus[N];
    word inverse;  // -modulus^-1 mod 2^64
};

// What the exponentiation needs of a modulus beside the modulus itself.
template <int N>
struct modulus_constants {
    montgomery<N> ctx;
    word r2[N];   // R^2 mod m
    word r3[N];   // R^3 mod m, for the top byte of a base in three words
    word one[N];  // R mod m, Montgomery's 1
};

// 25 bytes, most significant first, to and from four words.
void load_number(word *number, const unsigned char *bytes);
void store_number(unsigned char *bytes, const word *number);

// The constants of the fixed group's modulus, made once.
const modulus_constants<3> &group_constants();

// x + y + carry as two words, the high one the carry out. Carries are made
// by wide arithmetic, never by comparison, which could compile to a branch.
inline dh_wide add_carry(word x, word y, word carry)
{
    return dh_mul_add(x, 1, y, carry);
}

// out := t + top * R, less m when that is at least m, for t + top * R below
// 2m; out must not be t. t + (R - 1 - m) + 1 carries out of the words
// exactly when t >= m.
template <int N>
void subtract_modulus_if_above(word *out, const word *t, word top, const word *m)
{
    word carry = 1;
#pragma GCC unroll 4
    for (int j = 0; j < N; ++j) {
        const dh_wide sum = add_carry(~m[j], t[j], carry);
        out[j] = sum.low;
        carry = sum.high;
    }
    const word keep_t = dh_opaque_mask(0 - ((carry | top) ^ 1));
#pragma GCC unroll 4
    for (int j = 0; j < N; ++j)
        out[j] ^= (out[j] ^ t[j]) & keep_t;
}

// out := a + b mod m, for a and b below m.
template <int N>
void add_modulo(word *out, const word *a, const word *b, const montgomery<N> &ctx)
{
    word sum[N];
    word carry = 0;
    for (int j = 0; j < N; ++j) {
        const dh_wide s = add_carry(a[j], b[j], carry);
        sum[j] = s.low;
        carry = s.high;
    }
    subtract_modulus_if_above<N>(out, sum, carry, ctx.modulus);
}

// out := a * b / R mod m, below m, for a below R and b below m; out may be
// a or b. Word by word of b: t += a * b[i], then t += q * m with q chosen to
// clear the low word of t, and t moves down a word. Between rounds t stays
// below a + m < 2R, in N words and a carry word; a second carry word is
// needed only within a round. t ends below 2m.
template <int N>
void montgomery_multiply(word *out, const word *a, const word *b, const montgomery<N> &ctx)
{
    word t[N + 2] = {};
#pragma GCC unroll 4
    for (int i = 0; i < N; ++i) {
        word carry = 0;
#pragma GCC unroll 4
        for (int j = 0; j < N; ++j) {
            const dh_wide sum = dh_mul_add(a[j], b[i], t[j], carry);
            t[j] = sum.low;
            carry = sum.high;
        }
        dh_wide sum = add_carry(t[N], carry, 0);
        t[N] = sum.low;
        t[N + 1] = sum.high;
        const word q = t[0] * ctx.inverse;
        carry = dh_mul_add(q, ctx.modulus[0], t[0], 0).high;
#pragma GCC unroll 4
        for (int j = 1; j < N; ++j) {
            sum = dh_mul_add(q, ctx.modulus[j], t[j], carry);
            t[j - 1] = sum.low;
            carry = sum.high;
        }
        sum = add_carry(t[N], carry, 0);
        t[N - 1] = sum.low;
        t[N] = t[N + 1] + sum.high;
    }
    subtract_modulus_if_above<N>(out, t, t[N], ctx.modulus);
    OPENSSL_cleanse(t, sizeof t);
}

// out := a * a / R mod m, below m, for a below m; out may be a.
template <int N>
void montgomery_square(word *out, const word *a, const montgomery<N> &ctx)
{
    montgomery_multiply<N>(out, a, a, ctx);
}

// The first window that may be non-zero, from what the workspace says of
// the exponent's text; always the last window at the latest.
inline int first_window(const dh_workspace &ws)
{
    return ws.exponent_unused_places > 0 ? std::min(ws.exponent_unused_places, windows - 1) : 0;
}

// Window k of the exponent, from the top: its k-th hexadecimal digit.
inline word window_at(const unsigned char *exponent, int k)
{
    return (exponent[k / 2] >> (k % 2 == 0 ? 4 : 0)) & (table_size - 1u);
}

// entry := table[index], read by a pass over the whole table that keeps only
// the matching entry by a mask. The entry is gathered in registers, which a
// wipe would force through memory at every window: the callers wipe the
// entry they hold.
template <int N>
[[gnu::always_inline]] inline void select_by_masks(word *entry, const word (*table)[N], word index)
{
    word picked[N] = {};
    for (word i = 0; i < table_size; ++i) {
        const word match = dh_opaque_mask(0 - (((i ^ index) - 1) >> 63));
#pragma GCC unroll 4
        for (int j = 0; j < N; ++j)
            picked[j] |= table[i][j] & match;
    }
    std::memcpy(entry, picked, sizeof picked);
}

// entry := table[index]; three words take the processor's own selection
// (montgomery_three_words.h).
template <int N>
[[gnu::always_inline]] inline void select_entry(word *entry, const word (*table)[N], word index)
{
    select_by_masks<N>(entry, table, index);
}

// result := power / R, out of Montgomery form, as the workspace's result.
template <int N>
void store_result(dh_workspace &ws, word *power, const montgomery<N> &ctx)
{
    const word one[N] = {1};
    montgomery_multiply<N>(power, power, one, ctx);
    word result[number_words] = {};
    std::memcpy(result, power, N * sizeof(word));
    store_number(ws.result, result);
    OPENSSL_cleanse(result, sizeof result);
}

}  // namespace dessec::mont
