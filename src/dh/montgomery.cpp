// The fast exponentiation step of dh: Montgomery multiplication on 64-bit
// words for an odd modulus from 3 to 2^199 - 1. A modulus below 2^192 (the
// fixed group's is one) takes three words, R = 2^192; a larger one four,
// R = 2^256. Numbers are held least significant word first, and every
// number between the steps is below the modulus. Nothing branches on or
// indexes memory by a value other than the modulus, which is public:
// conditional subtractions and table reads go through masks.
#include "dh/dh.h"

#include <bit>
#include <cstring>

#include <openssl/crypto.h>

namespace dessec {
namespace {

using word = std::uint64_t;

constexpr int number_words = 4;  // a 25-byte number, 200 bits, in words
constexpr int window_bits = 4;   // a window is one hexadecimal digit of the exponent
constexpr int table_size = 1 << window_bits;
constexpr int windows = 8 * dh_width / window_bits;

template <int N>
struct montgomery {
    word modulus[N];
    word inverse;  // -modulus^-1 mod 2^64
};

// The fast step gives exactly the generic step's result where that is the
// true modular power with 1 for exponent 0: an odd modulus below 2^199, but
// not 1, under which the generic step still gives 1 for exponent 0.
bool fast_path_fits(const dh_workspace &ws)
{
    if (ws.width != dh_width)
        return false;
    unsigned above_one = ws.modulus[dh_width - 1] >> 1;
    for (int k = 0; k < dh_width - 1; ++k)
        above_one |= ws.modulus[k];
    return (ws.modulus[dh_width - 1] & 1) != 0 && ws.modulus[0] < 0x80 && above_one != 0;
}

// 25 bytes, most significant first, to and from four words.
void load_number(word *number, const unsigned char *bytes)
{
    std::memset(number, 0, number_words * sizeof(word));
    for (int k = 0; k < dh_width; ++k) {
        const int shift = 8 * (dh_width - 1 - k);
        number[shift / 64] |= word{bytes[k]} << (shift % 64);
    }
}

void store_number(unsigned char *bytes, const word *number)
{
    for (int k = 0; k < dh_width; ++k) {
        const int shift = 8 * (dh_width - 1 - k);
        bytes[k] = static_cast<unsigned char>(number[shift / 64] >> (shift % 64));
    }
}

// Newton's iteration x := x * (2 - m * x) doubles the count of correct low
// bits of m^-1, and an odd m is its own inverse modulo 8.
word negated_inverse(word m)
{
    word x = m;
    for (int correct_bits = 3; correct_bits < 64; correct_bits *= 2)
        x *= 2 - m * x;
    return 0 - x;
}

// x + y + carry as two words, the high one the carry out. Carries are made
// by wide arithmetic, never by comparison, which could compile to a branch.
dh_wide add_carry(word x, word y, word carry)
{
    return dh_mul_add(x, 1, y, carry);
}

// A mask of all ones or all zeros, hidden from the optimizer, which would
// otherwise see the comparison it comes from and may turn the masked
// selection back into a branch or a conditional load.
word opaque_mask(word mask)
{
    __asm__("" : "+r"(mask));
    return mask;
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
    const word keep_t = opaque_mask(0 - ((carry | top) ^ 1));
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

// R^2 mod m. The highest power of 2 below m (odd and above 1) is doubled up
// to 2^(64N + 2N) = R * 2^(2N) mod m, and five Montgomery squarings take
// that to R * 2^(2N * 2^5) = R^2. The count of doublings depends on the
// modulus alone.
template <int N>
void square_of_r(word *r2, const montgomery<N> &ctx)
{
    int bits = 0;
    for (int j = 0; j < N; ++j) {
        if (ctx.modulus[j] != 0)
            bits = 64 * j + std::bit_width(ctx.modulus[j]);
    }
    word power[N] = {};
    power[(bits - 1) / 64] = word{1} << ((bits - 1) % 64);
    for (int exponent = bits - 1; exponent < 64 * N + 2 * N; ++exponent)
        add_modulo<N>(power, power, power, ctx);
    for (int i = 0; i < 5; ++i)
        montgomery_multiply<N>(power, power, power, ctx);
    std::memcpy(r2, power, sizeof power);
}

// Window k of the exponent, from the top: its k-th hexadecimal digit.
word window_at(const unsigned char *exponent, int k)
{
    return (exponent[k / 2] >> (k % 2 == 0 ? 4 : 0)) & (table_size - 1u);
}

// entry := table[index], read by a pass over the whole table that keeps only
// the matching entry by a mask.
template <int N>
void select_entry(word *entry, const word (*table)[N], word index)
{
    word picked[N] = {};
    for (word i = 0; i < table_size; ++i) {
        const word match = opaque_mask(0 - (((i ^ index) - 1) >> 63));
#pragma GCC unroll 4
        for (int j = 0; j < N; ++j)
            picked[j] |= table[i][j] & match;
    }
    std::memcpy(entry, picked, sizeof picked);
    OPENSSL_cleanse(picked, sizeof picked);
}

// The secret-bearing numbers of one exponentiation, wiped together.
template <int N>
struct fast_power {
    word table[table_size][N];  // base^i * R mod m
    word base[number_words];
    word power[N];
    word factor[N];
};

// The base enters Montgomery form reduced in full: its low N words times
// R^2 / R, plus, with three words, its top byte times R^3 / R = 2^192 * R.
// Then left to right over fixed windows of 4 bits: four squarings and one
// multiplication by a table entry per window, the entry for a zero window
// being Montgomery's 1.
template <int N>
void exponentiate(dh_workspace &ws)
{
    montgomery<N> ctx{};
    word modulus[number_words];
    load_number(modulus, ws.modulus);
    std::memcpy(ctx.modulus, modulus, sizeof ctx.modulus);
    ctx.inverse = negated_inverse(ctx.modulus[0]);
    word r2[N];
    square_of_r<N>(r2, ctx);
    const word one[N] = {1};

    fast_power<N> f;
    load_number(f.base, ws.base);
    montgomery_multiply<N>(f.table[0], r2, one, ctx);
    montgomery_multiply<N>(f.table[1], f.base, r2, ctx);
    if constexpr (N < number_words) {
        word r3[N], top[N] = {f.base[N]};
        montgomery_multiply<N>(r3, r2, r2, ctx);
        montgomery_multiply<N>(f.factor, top, r3, ctx);
        add_modulo<N>(f.table[1], f.table[1], f.factor, ctx);
    }
    for (int i = 2; i < table_size; ++i)
        montgomery_multiply<N>(f.table[i], f.table[i - 1], f.table[1], ctx);

    select_entry<N>(f.power, f.table, window_at(ws.exponent, 0));
    for (int k = 1; k < windows; ++k) {
        for (int s = 0; s < window_bits; ++s)
            montgomery_multiply<N>(f.power, f.power, f.power, ctx);
        select_entry<N>(f.factor, f.table, window_at(ws.exponent, k));
        montgomery_multiply<N>(f.power, f.power, f.factor, ctx);
    }
    montgomery_multiply<N>(f.power, f.power, one, ctx);
    word result[number_words] = {};
    std::memcpy(result, f.power, sizeof f.power);
    store_number(ws.result, result);
    OPENSSL_cleanse(&f, sizeof f);
    OPENSSL_cleanse(result, sizeof result);
}

}  // namespace

bool dh_exponentiate_fast(dh_workspace &ws)
{
    if (!fast_path_fits(ws))
        return false;
    if (ws.modulus[0] == 0)
        exponentiate<3>(ws);
    else
        exponentiate<4>(ws);
    return true;
}

}  // namespace dessec
