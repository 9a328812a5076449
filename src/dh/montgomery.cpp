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


// Three words, the fixed group's size, have a multiplication and a squaring
// of their own: the whole six-word product first (six word products instead
// of nine for a square), then three rounds of reduction.
using product_3 = word[6];

void multiply_3(product_3 t, const word *a, const word *b)
{
    dh_wide s{};
    word carry;
    for (int i = 0; i < 3; ++i) {
        carry = 0;
        for (int j = 0; j < 3; ++j) {
            s = dh_mul_add(a[j], b[i], i == 0 ? 0 : t[i + j], carry);
            t[i + j] = s.low;
            carry = s.high;
        }
        t[i + 3] = carry;
    }
}

// The cross products a0 a1, a0 a2 and a1 a2 once, doubled by a shift, then
// the squares of the words on the diagonal.
void square_3(product_3 t, const word *a)
{
    dh_wide s = dh_mul_add(a[0], a[1], 0, 0);
    t[1] = s.low;
    s = dh_mul_add(a[0], a[2], s.high, 0);
    t[2] = s.low;
    s = dh_mul_add(a[1], a[2], s.high, 0);
    t[3] = s.low;
    t[4] = s.high;
    t[5] = t[4] >> 63;
    for (int j = 4; j > 1; --j)
        t[j] = t[j] << 1 | t[j - 1] >> 63;
    t[1] <<= 1;
    word carry = 0;
    for (int j = 0; j < 3; ++j) {
        const dh_wide d = dh_mul_add(a[j], a[j], 0, 0);
        s = j == 0 ? dh_wide{d.low, 0} : add_carry(t[2 * j], d.low, carry);
        t[2 * j] = s.low;
        s = add_carry(t[2 * j + 1], d.high, s.high);
        t[2 * j + 1] = s.low;
        carry = s.high;
    }
}

// out := t / R mod m, below m, for t below R m. Round i adds q m at word i
// to clear it; the carry out of word i + 3 waits in `top` for the next round.
void reduce_3(word *out, product_3 t, const montgomery<3> &ctx)
{
    word top = 0;
    for (int i = 0; i < 3; ++i) {
        const word q = t[i] * ctx.inverse;
        word carry = dh_mul_add(q, ctx.modulus[0], t[i], 0).high;
        for (int j = 1; j < 3; ++j) {
            const dh_wide s = dh_mul_add(q, ctx.modulus[j], t[i + j], carry);
            t[i + j] = s.low;
            carry = s.high;
        }
        const dh_wide s = add_carry(t[i + 3], carry, top);
        t[i + 3] = s.low;
        top = s.high;
    }
    subtract_modulus_if_above<3>(out, t + 3, top, ctx.modulus);
}

template <>
void montgomery_multiply<3>(word *out, const word *a, const word *b, const montgomery<3> &ctx)
{
    product_3 t;
    multiply_3(t, a, b);
    reduce_3(out, t, ctx);
    OPENSSL_cleanse(t, sizeof t);
}

// out := a * a / R mod m, below m, for a below m; out may be a.
template <int N>
void montgomery_square(word *out, const word *a, const montgomery<N> &ctx)
{
    montgomery_multiply<N>(out, a, a, ctx);
}

template <>
void montgomery_square<3>(word *out, const word *a, const montgomery<3> &ctx)
{
    product_3 t;
    square_3(t, a);
    reduce_3(out, t, ctx);
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
montgomery<N> context_of(const word *modulus)
{
    montgomery<N> ctx{};
    std::memcpy(ctx.modulus, modulus, sizeof ctx.modulus);
    ctx.inverse = negated_inverse(ctx.modulus[0]);
    return ctx;
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

template <int N>
void exponentiate(dh_workspace &ws)
{
    word modulus[number_words];
    load_number(modulus, ws.modulus);
    const montgomery<N> ctx = context_of<N>(modulus);
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
            montgomery_square<N>(f.power, f.power, ctx);
        select_entry<N>(f.factor, f.table, window_at(ws.exponent, k));
        montgomery_multiply<N>(f.power, f.power, f.factor, ctx);
    }
    store_result<N>(ws, f.power, ctx);
    OPENSSL_cleanse(&f, sizeof f);
}

// The fixed group: base 3 and a modulus of three words, least significant first.
constexpr word group_modulus[number_words] = {0xc716e22d0944b88bu, 0xc626e7efd637df76u, 0xd4a0ba0250b6fd2eu, 0};

// 3^(d * 16^k) * R mod m for every digit d and every place k of the
// exponent in hexadecimal, so that 3^e is the product of one entry per
// place: windows multiplications and no squaring. The entries are public.
struct powers_of_three {
    montgomery<3> ctx;
    word entry[windows][table_size][3];
};

powers_of_three make_powers_of_three()
{
    powers_of_three p{context_of<3>(group_modulus), {}};
    word r2[3];
    square_of_r<3>(r2, p.ctx);
    const word one[3] = {1}, three[3] = {3};
    for (int k = 0; k < windows; ++k) {
        montgomery_multiply<3>(p.entry[k][0], r2, one, p.ctx);
        if (k == 0) {
            montgomery_multiply<3>(p.entry[0][1], r2, three, p.ctx);
        } else {
            std::memcpy(p.entry[k][1], p.entry[k - 1][1], sizeof p.entry[k][1]);
            for (int s = 0; s < window_bits; ++s)
                montgomery_square<3>(p.entry[k][1], p.entry[k][1], p.ctx);
        }
        for (int d = 2; d < table_size; ++d)
            montgomery_multiply<3>(p.entry[k][d], p.entry[k][d - 1], p.entry[k][1], p.ctx);
    }
    return p;
}

// Built at the first use; the initialisation of a local static is thread-safe.
const powers_of_three &three_powers()
{
    static const powers_of_three table = make_powers_of_three();
    return table;
}

bool is_group_modulus(const dh_workspace &ws)
{
    if (ws.width != dh_width)
        return false;
    word modulus[number_words];
    load_number(modulus, ws.modulus);
    return std::memcmp(modulus, group_modulus, sizeof modulus) == 0;
}

// The secret-bearing numbers of one fixed-base exponentiation, wiped together.
struct fixed_power {
    word power[3];
    word factor[3];
};

void exponentiate_three(dh_workspace &ws)
{
    const powers_of_three &p = three_powers();
    fixed_power f;
    select_entry<3>(f.power, p.entry[windows - 1], window_at(ws.exponent, 0));
    for (int k = 1; k < windows; ++k) {
        select_entry<3>(f.factor, p.entry[windows - 1 - k], window_at(ws.exponent, k));
        montgomery_multiply<3>(f.power, f.power, f.factor, p.ctx);
    }
    store_result<3>(ws, f.power, p.ctx);
    OPENSSL_cleanse(&f, sizeof f);
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

bool dh_exponentiate_fixed_base(dh_workspace &ws)
{
    if (!is_group_modulus(ws))
        return false;
    exponentiate_three(ws);
    return true;
}

}  // namespace dessec
