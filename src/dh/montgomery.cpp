// The fast exponentiation steps of dh: Montgomery multiplication on 64-bit
// words for an odd modulus from 3 to 2^199 - 1, and the fixed-base step for
// base 3 under the group's modulus. A modulus below 2^192 (the fixed
// group's is one) takes three words, R = 2^192, with a multiplication and a
// squaring of their own, and on x86-64 processors that have them, the
// carry-chain instructions; a larger modulus takes four words, R = 2^256.
// Numbers are held least significant word first, and every number between
// the steps is below the modulus. Nothing branches on or indexes memory by
// a value other than the modulus, which is public: conditional subtractions
// and table reads go through masks or conditional moves.
#include "dh/dh.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#if defined(__x86_64__)
#include <cpuid.h>
#endif

#include <openssl/crypto.h>

namespace dessec {
namespace {

using word = std::uint64_t;

std::atomic<bool> carry_chains_allowed{true};

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


// Three words, the fixed group's size, have a multiplication and a squaring
// of their own: the whole six-word product first (six word products instead
// of nine for a square), then three rounds of reduction. They work on named
// words, which the compiler keeps in registers; wiping them would force
// them through memory at every multiplication, so only the numbers between
// multiplications are wiped, by the callers.
struct product_3 {
    word t0, t1, t2, t3, t4, t5;
};

// low := low + x * y + carry, carry := the high word.
[[gnu::always_inline]] inline void mul_add_into(word &low, word &carry, word x, word y)
{
    const dh_wide s = dh_mul_add(x, y, low, carry);
    low = s.low;
    carry = s.high;
}

[[gnu::always_inline]] inline product_3 multiply_3(const word *a, const word *b)
{
    product_3 p{};
    word carry = 0;
    mul_add_into(p.t0, carry, a[0], b[0]);
    mul_add_into(p.t1, carry, a[1], b[0]);
    mul_add_into(p.t2, carry, a[2], b[0]);
    p.t3 = carry;
    carry = 0;
    mul_add_into(p.t1, carry, a[0], b[1]);
    mul_add_into(p.t2, carry, a[1], b[1]);
    mul_add_into(p.t3, carry, a[2], b[1]);
    p.t4 = carry;
    carry = 0;
    mul_add_into(p.t2, carry, a[0], b[2]);
    mul_add_into(p.t3, carry, a[1], b[2]);
    mul_add_into(p.t4, carry, a[2], b[2]);
    p.t5 = carry;
    return p;
}

// The cross products a0 a1, a0 a2 and a1 a2 once, doubled by a shift, then
// the squares of the words on the diagonal.
[[gnu::always_inline]] inline product_3 square_3(const word *a)
{
    product_3 p{};
    word carry = 0;
    mul_add_into(p.t1, carry, a[0], a[1]);
    mul_add_into(p.t2, carry, a[0], a[2]);
    p.t3 = carry;
    carry = 0;
    mul_add_into(p.t3, carry, a[1], a[2]);
    p.t4 = carry;
    p.t5 = p.t4 >> 63;
    p.t4 = p.t4 << 1 | p.t3 >> 63;
    p.t3 = p.t3 << 1 | p.t2 >> 63;
    p.t2 = p.t2 << 1 | p.t1 >> 63;
    p.t1 <<= 1;
    const dh_wide d0 = dh_mul_add(a[0], a[0], 0, 0), d1 = dh_mul_add(a[1], a[1], 0, 0),
                  d2 = dh_mul_add(a[2], a[2], 0, 0);
    p.t0 = d0.low;
    dh_wide s = add_carry(p.t1, d0.high, 0);
    p.t1 = s.low;
    s = add_carry(p.t2, d1.low, s.high);
    p.t2 = s.low;
    s = add_carry(p.t3, d1.high, s.high);
    p.t3 = s.low;
    s = add_carry(p.t4, d2.low, s.high);
    p.t4 = s.low;
    p.t5 += d2.high + s.high;
    return p;
}

// One round of reduction: q m added at t0 clears it, the carry lands in t3
// and the carry out of t3 waits in top for the next round.
[[gnu::always_inline]] inline void reduce_round(word t0, word &t1, word &t2, word &t3, word &top,
                                                 const montgomery<3> &ctx)
{
    const word q = t0 * ctx.inverse;
    word carry = dh_mul_add(q, ctx.modulus[0], t0, 0).high;
    mul_add_into(t1, carry, q, ctx.modulus[1]);
    mul_add_into(t2, carry, q, ctx.modulus[2]);
    const dh_wide s = add_carry(t3, carry, top);
    t3 = s.low;
    top = s.high;
}

// out := p / R mod m, below m, for p below R m.
[[gnu::always_inline]] inline void reduce_3(word *out, product_3 p, const montgomery<3> &ctx)
{
    word top = 0;
    reduce_round(p.t0, p.t1, p.t2, p.t3, top, ctx);
    reduce_round(p.t1, p.t2, p.t3, p.t4, top, ctx);
    reduce_round(p.t2, p.t3, p.t4, p.t5, top, ctx);
    const word high[3] = {p.t3, p.t4, p.t5};
    subtract_modulus_if_above<3>(out, high, top, ctx.modulus);
}

// The first window that may be non-zero, from what the workspace says of
// the exponent's text; always the last window at the latest.
int first_window(const dh_workspace &ws)
{
    return ws.exponent_unused_places > 0 ? std::min(ws.exponent_unused_places, windows - 1) : 0;
}

// Window k of the exponent, from the top: its k-th hexadecimal digit.
word window_at(const unsigned char *exponent, int k)
{
    return (exponent[k / 2] >> (k % 2 == 0 ? 4 : 0)) & (table_size - 1u);
}

// entry := table[index], read by a pass over the whole table that keeps only
// the matching entry by a mask. The entry is gathered in registers, which a
// wipe would force through memory at every window: the callers wipe the
// entry they hold.
template <int N>
[[gnu::always_inline]] inline void select_entry(word *entry, const word (*table)[N], word index)
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

#if defined(__x86_64__)
// Three words by conditional moves from memory: every entry is loaded, and
// the one whose place equals the index is kept. Fewer instructions than the
// masks, which the windows of the carry chains feel.
template <>
[[gnu::always_inline]] inline void select_entry<3>(word *entry, const word (*table)[3], word index)
{
    word w0 = 0, w1 = 0, w2 = 0;
#pragma GCC unroll 16
    for (word i = 0; i < table_size; ++i) {
        __asm__("cmpq %[i], %[index]\n\t"
                "cmoveq %[e0], %[w0]\n\t"
                "cmoveq %[e1], %[w1]\n\t"
                "cmoveq %[e2], %[w2]"
                : [w0] "+r"(w0), [w1] "+r"(w1), [w2] "+r"(w2)
                : [i] "er"(i), [index] "r"(index), [e0] "m"(table[i][0]), [e1] "m"(table[i][1]),
                  [e2] "m"(table[i][2])
                : "cc");
    }
    entry[0] = w0;
    entry[1] = w1;
    entry[2] = w2;
}
#endif

#if defined(__x86_64__)
// Where the processor has mulx, adcx and adox (BMI2 and ADX), the product
// and its reduction take two carry chains at once, CF and OF, over
// flag-neutral multiplications: some half the instructions of the code the
// compiler makes from 128-bit arithmetic. The processor is asked once.
bool has_carry_chains()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    constexpr unsigned bmi2 = 1u << 8, adx = 1u << 19;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & (bmi2 | adx)) == (bmi2 | adx);
}

bool carry_chains()
{
    static const bool available = has_carry_chains();
    return available && carry_chains_allowed.load(std::memory_order_relaxed);
}

// One Montgomery multiplication a * b / R mod m in a single block of
// assembly: the words of a and b given as operands, in registers or in
// memory; the modulus, its inverse and a zero word in a chain_operands at
// p; the result lands in t3, t4 and t5. The first row of the product is
// a * b0 with one carry chain.
#define DH_FIRST_ROW(a0, a1, a2, b0)                                                                     \
    "movq " b0 ", %%rdx\n\t"                                                                 \
    "mulxq " a0 ", %[t0], %[t1]\n\t"                                                        \
    "mulxq " a1 ", %[lo], %[t2]\n\t"                                                        \
    "addq %[lo], %[t1]\n\t"                                                                  \
    "mulxq " a2 ", %[lo], %[t3]\n\t"                                                        \
    "adcq %[lo], %[t2]\n\t"                                                                  \
    "adcq $0, %[t3]\n\t"

// A further row: t[i..i+3] += a * b[i], rdx holding b[i], the new top word
// written by the last mulx.
#define DH_PRODUCT_ROW(a0, a1, a2, b, t1, t2, t3, t4)                                                    \
    "movq " b ", %%rdx\n\t"                                                                  \
    "xorl %k[lo], %k[lo]\n\t"                                                                \
    "mulxq " a0 ", %[lo], %[hi]\n\t"                                                        \
    "adcxq %[lo], %[" t1 "]\n\t"                                                             \
    "adoxq %[hi], %[" t2 "]\n\t"                                                             \
    "mulxq " a1 ", %[lo], %[hi]\n\t"                                                        \
    "adcxq %[lo], %[" t2 "]\n\t"                                                             \
    "adoxq %[hi], %[" t3 "]\n\t"                                                             \
    "mulxq " a2 ", %[lo], %[" t4 "]\n\t"                                                    \
    "adcxq %[lo], %[" t3 "]\n\t"                                                             \
    "adoxq 32(%[p]), %[" t4 "]\n\t"                                                           \
    "adcxq 32(%[p]), %[" t4 "]\n\t"

// A round of reduction, as reduce_round: q m added at t0 clears it, and t0's
// register then takes the carry out of t3. The previous round's carry joins
// the high word of q m2, which it cannot overflow, by `join`.
#define DH_JOIN_TOP(top) "leaq (%[hi], %[" top "]), %[hi]\n\t"
#define DH_REDUCE_ROUND(t0, t1, t2, t3, join)                                                \
    "movq %[" t0 "], %%rdx\n\t"                                                              \
    "imulq 24(%[p]), %%rdx\n\t"                                                            \
    "xorl %k[lo], %k[lo]\n\t"                                                                \
    "mulxq 0(%[p]), %[lo], %[hi]\n\t"                                                          \
    "adcxq %[lo], %[" t0 "]\n\t"                                                             \
    "adoxq %[hi], %[" t1 "]\n\t"                                                             \
    "mulxq 8(%[p]), %[lo], %[hi]\n\t"                                                          \
    "adcxq %[lo], %[" t1 "]\n\t"                                                             \
    "adoxq %[hi], %[" t2 "]\n\t"                                                             \
    "mulxq 16(%[p]), %[lo], %[hi]\n\t"                                                          \
    "adcxq %[lo], %[" t2 "]\n\t"                                                             \
    join                                                                                     \
    "adoxq %[hi], %[" t3 "]\n\t"                                                             \
    "adcxq 32(%[p]), %[" t3 "]\n\t"                                                           \
    "adcxq 32(%[p]), %[" t0 "]\n\t"                                                           \
    "adoxq 32(%[p]), %[" t0 "]\n\t"

// After the third round t5:t4:t3 and the carry in t2 are below 2m: m is
// subtracted into t0, t1 and lo, and taken by conditional moves where that
// leaves no borrow. A conditional move neither branches nor addresses memory.
#define DH_SUBTRACT_MODULUS_IF_ABOVE                                                         \
    "movq %[t3], %[t0]\n\t"                                                                  \
    "subq 0(%[p]), %[t0]\n\t"                                                                  \
    "movq %[t4], %[t1]\n\t"                                                                  \
    "sbbq 8(%[p]), %[t1]\n\t"                                                                  \
    "movq %[t5], %[lo]\n\t"                                                                  \
    "sbbq 16(%[p]), %[lo]\n\t"                                                                  \
    "sbbq $0, %[t2]\n\t"                                                                     \
    "cmovncq %[t0], %[t3]\n\t"                                                               \
    "cmovncq %[t1], %[t4]\n\t"                                                               \
    "cmovncq %[lo], %[t5]\n\t"

#define DH_REDUCE                                                                            \
    DH_REDUCE_ROUND("t0", "t1", "t2", "t3", "")                                              \
    DH_REDUCE_ROUND("t1", "t2", "t3", "t4", DH_JOIN_TOP("t0"))                               \
    DH_REDUCE_ROUND("t2", "t3", "t4", "t5", DH_JOIN_TOP("t1"))                               \
    DH_SUBTRACT_MODULUS_IF_ABOVE

#define DH_MONTGOMERY(a0, a1, a2, b0, b1, b2)                                                \
    DH_FIRST_ROW(a0, a1, a2, b0)                                                             \
    DH_PRODUCT_ROW(a0, a1, a2, b1, "t1", "t2", "t3", "t4")                                   \
    DH_PRODUCT_ROW(a0, a1, a2, b2, "t2", "t3", "t4", "t5")                                   \
    DH_REDUCE

// The square as square_3: the cross products a0 a1, a0 a2 and a1 a2 in
// t1 to t4, doubled into t1 to t5 by one carry chain, then the squares of
// the words on the diagonal added by another. Six multiplications, not nine.
#define DH_MONTGOMERY_SQUARE(a0, a1, a2)                                                     \
    "movq " a0 ", %%rdx\n\t"                                                                 \
    "mulxq " a1 ", %[t1], %[t2]\n\t"                                                        \
    "mulxq " a2 ", %[lo], %[t3]\n\t"                                                        \
    "xorl %k[t5], %k[t5]\n\t"                                                               \
    "addq %[lo], %[t2]\n\t"                                                                  \
    "movq " a1 ", %%rdx\n\t"                                                                 \
    "mulxq " a2 ", %[lo], %[t4]\n\t"                                                        \
    "adcq %[lo], %[t3]\n\t"                                                                  \
    "adcq %[t5], %[t4]\n\t"                                                                  \
    "addq %[t1], %[t1]\n\t"                                                                  \
    "adcq %[t2], %[t2]\n\t"                                                                  \
    "adcq %[t3], %[t3]\n\t"                                                                  \
    "adcq %[t4], %[t4]\n\t"                                                                  \
    "adcq %[t5], %[t5]\n\t"                                                                  \
    "movq " a0 ", %%rdx\n\t"                                                                 \
    "mulxq %%rdx, %[t0], %[hi]\n\t"                                                         \
    "addq %[hi], %[t1]\n\t"                                                                  \
    "movq " a1 ", %%rdx\n\t"                                                                 \
    "mulxq %%rdx, %[lo], %[hi]\n\t"                                                         \
    "adcq %[lo], %[t2]\n\t"                                                                  \
    "adcq %[hi], %[t3]\n\t"                                                                  \
    "movq " a2 ", %%rdx\n\t"                                                                 \
    "mulxq %%rdx, %[lo], %[hi]\n\t"                                                         \
    "adcq %[lo], %[t4]\n\t"                                                                  \
    "adcq %[hi], %[t5]\n\t"                                                                  \
    DH_REDUCE

// The memory operands sit together behind one register, which leaves an
// unoptimised build registers enough for the others. The factor is the
// selected table entry of raise_by_carry_chains.
struct chain_operands {
    word modulus[3];
    word inverse;
    word zero;
    word factor[3];
};

chain_operands chain_operands_of(const montgomery<3> &ctx)
{
    return {{ctx.modulus[0], ctx.modulus[1], ctx.modulus[2]}, ctx.inverse, 0, {}};
}

#define DH_CHAIN_OUTPUTS                                                                     \
    [t0] "=&r"(t0), [t1] "=&r"(t1), [t2] "=&r"(t2), [t3] "=&r"(t3), [t4] "=&r"(t4), [t5] "=&r"(t5), \
        [lo] "=&r"(lo), [hi] "=&r"(hi)
#define DH_CHAIN_INPUTS [a0] "r"(a0), [a1] "r"(a1), [a2] "r"(a2), [p] "r"(&c)

// out := a * b / R mod m as montgomery_multiply<3>, by the carry chains,
// with a and b read from memory.
[[gnu::target("bmi2,adx"), gnu::always_inline]] inline void multiply_with(word *out, const word *a, const word *b,
                                                                         const chain_operands &c)
{
    word t0, t1, t2, t3, t4, t5, lo, hi;
    __asm__(DH_MONTGOMERY("0(%[a])", "8(%[a])", "16(%[a])", "0(%[b])", "8(%[b])", "16(%[b])")
            : DH_CHAIN_OUTPUTS
            : [p] "r"(&c), [a] "r"(a), [b] "r"(b)
            : "rdx", "cc", "memory");
    out[0] = t3;
    out[1] = t4;
    out[2] = t5;
}

// out := a * a / R mod m as montgomery_square<3>, by the carry chains.
[[gnu::target("bmi2,adx"), gnu::always_inline]] inline void square_with(word *out, const word *a,
                                                                       const chain_operands &c)
{
    word t0, t1, t2, t3, t4, t5, lo, hi;
    __asm__(DH_MONTGOMERY_SQUARE("0(%[a])", "8(%[a])", "16(%[a])")
            : DH_CHAIN_OUTPUTS
            : [p] "r"(&c), [a] "r"(a)
            : "rdx", "cc", "memory");
    out[0] = t3;
    out[1] = t4;
    out[2] = t5;
}

[[gnu::target("bmi2,adx")]] void multiply_by_carry_chains(word *out, const word *a, const word *b,
                                                          const montgomery<3> &ctx)
{
    multiply_with(out, a, b, chain_operands_of(ctx));
}

[[gnu::target("bmi2,adx")]] void square_by_carry_chains(word *out, const word *a, const montgomery<3> &ctx)
{
    square_with(out, a, chain_operands_of(ctx));
}

// fill_table<3> by the carry chains, the operands laid out once.
[[gnu::target("bmi2,adx")]] void fill_table_by_carry_chains(word (*table)[3], const montgomery<3> &ctx)
{
    const chain_operands c = chain_operands_of(ctx);
    for (int i = 2; i < table_size; i += 2) {
        square_with(table[i], table[i / 2], c);
        multiply_with(table[i + 1], table[i], table[1], c);
    }
}

// The windows of raise_by_windows with the power in registers throughout:
// four squarings and a multiplication by the selected entry per window.
[[gnu::target("bmi2,adx")]] void raise_by_carry_chains(word *power, const word (*table)[3],
                                                       const unsigned char *exponent, int first,
                                                       const montgomery<3> &ctx)
{
    chain_operands c = chain_operands_of(ctx);
    select_entry<3>(c.factor, table, window_at(exponent, first));
    word a0 = c.factor[0], a1 = c.factor[1], a2 = c.factor[2];
    for (int k = first + 1; k < windows; ++k) {
        // Read first: the entry depends on nothing the squarings make, so the
        // processor scans the table while they run.
        select_entry<3>(c.factor, table, window_at(exponent, k));
        for (int s = 0; s < window_bits; ++s) {
            word t0, t1, t2, t3, t4, t5, lo, hi;
            __asm__(DH_MONTGOMERY_SQUARE("%[a0]", "%[a1]", "%[a2]")
                    : DH_CHAIN_OUTPUTS
                    : DH_CHAIN_INPUTS
                    : "rdx", "cc", "memory");
            a0 = t3;
            a1 = t4;
            a2 = t5;
        }
        word t0, t1, t2, t3, t4, t5, lo, hi;
        __asm__(DH_MONTGOMERY("%[a0]", "%[a1]", "%[a2]", "40(%[p])", "48(%[p])", "56(%[p])")
                : DH_CHAIN_OUTPUTS
                : DH_CHAIN_INPUTS
                : "rdx", "cc", "memory");
        a0 = t3;
        a1 = t4;
        a2 = t5;
    }
    power[0] = a0;
    power[1] = a1;
    power[2] = a2;
    OPENSSL_cleanse(&c, sizeof c);
}

#undef DH_FIRST_ROW
#undef DH_PRODUCT_ROW
#undef DH_JOIN_TOP
#undef DH_REDUCE_ROUND
#undef DH_SUBTRACT_MODULUS_IF_ABOVE
#undef DH_REDUCE
#undef DH_MONTGOMERY
#undef DH_MONTGOMERY_SQUARE
#undef DH_CHAIN_OUTPUTS
#undef DH_CHAIN_INPUTS
#endif

template <>
void montgomery_multiply<3>(word *out, const word *a, const word *b, const montgomery<3> &ctx)
{
#if defined(__x86_64__)
    if (carry_chains())
        return multiply_by_carry_chains(out, a, b, ctx);
#endif
    reduce_3(out, multiply_3(a, b), ctx);
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
#if defined(__x86_64__)
    if (carry_chains())
        return square_by_carry_chains(out, a, ctx);
#endif
    reduce_3(out, square_3(a), ctx);
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

// What the exponentiation needs of a modulus beside the modulus itself.
template <int N>
struct modulus_constants {
    montgomery<N> ctx;
    word r2[N];   // R^2 mod m
    word r3[N];   // R^3 mod m, for the top byte of a base in three words
    word one[N];  // R mod m, Montgomery's 1
};

template <int N>
montgomery<N> context_of(const word *modulus)
{
    montgomery<N> ctx{};
    std::memcpy(ctx.modulus, modulus, sizeof ctx.modulus);
    ctx.inverse = negated_inverse(ctx.modulus[0]);
    return ctx;
}

template <int N>
modulus_constants<N> constants_of(const word *modulus)
{
    modulus_constants<N> c{context_of<N>(modulus), {}, {}, {}};
    square_of_r<N>(c.r2, c.ctx);
    montgomery_multiply<N>(c.r3, c.r2, c.r2, c.ctx);
    const word one[N] = {1};
    montgomery_multiply<N>(c.one, c.r2, one, c.ctx);
    return c;
}

// The fixed group: base 3 and a modulus of three words, least significant first.
constexpr word group_modulus[number_words] = {0xc716e22d0944b88bu, 0xc626e7efd637df76u, 0xd4a0ba0250b6fd2eu, 0};

// Built at the first use; the initialisation of a local static is thread-safe.
const modulus_constants<3> &group_constants()
{
    static const modulus_constants<3> constants = constants_of<3>(group_modulus);
    return constants;
}

// The group's constants are made once; any other modulus's at every call.
template <int N>
modulus_constants<N> constants_for(const word *modulus)
{
    if constexpr (N == 3) {
        if (std::memcmp(modulus, group_modulus, sizeof group_modulus) == 0)
            return group_constants();
    }
    return constants_of<N>(modulus);
}

// Entries 2 to 15 of a window table from entry 1: base^i * R mod m. Even
// entries square their half, so that the chain of dependent multiplications
// is 7 long, not 14.
template <int N>
void fill_table(word (*table)[N], const montgomery<N> &ctx)
{
#if defined(__x86_64__)
    if constexpr (N == 3) {
        if (carry_chains())
            return fill_table_by_carry_chains(table, ctx);
    }
#endif
    for (int i = 2; i < table_size; i += 2) {
        montgomery_square<N>(table[i], table[i / 2], ctx);
        montgomery_multiply<N>(table[i + 1], table[i], table[1], ctx);
    }
}

// The secret-bearing numbers of one exponentiation, wiped together.
template <int N>
struct fast_power {
    word table[table_size][N];  // base^i * R mod m
    word base[number_words];
    word power[N];
    word factor[N];
};

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

// Left to right over the windows from `first`, the windows above it being
// zero: the power starts at the entry of the first, then four squarings and
// one multiplication per window.
template <int N>
void raise_by_windows(fast_power<N> &f, const unsigned char *exponent, int first, const montgomery<N> &ctx)
{
#if defined(__x86_64__)
    if constexpr (N == 3) {
        if (carry_chains())
            return raise_by_carry_chains(f.power, f.table, exponent, first, ctx);
    }
#endif
    select_entry<N>(f.power, f.table, window_at(exponent, first));
    for (int k = first + 1; k < windows; ++k) {
        for (int s = 0; s < window_bits; ++s)
            montgomery_square<N>(f.power, f.power, ctx);
        select_entry<N>(f.factor, f.table, window_at(exponent, k));
        montgomery_multiply<N>(f.power, f.power, f.factor, ctx);
    }
}

// The base enters Montgomery form reduced in full: its low N words times
// R^2 / R, plus, with three words, its top byte times R^3 / R = 2^192 * R.
// Then left to right over fixed windows of 4 bits: four squarings and one
// multiplication by a table entry per window, the entry for a zero window
// being Montgomery's 1.
template <int N>
void exponentiate(dh_workspace &ws)
{
    word modulus[number_words];
    load_number(modulus, ws.modulus);
    const modulus_constants<N> c = constants_for<N>(modulus);
    const montgomery<N> &ctx = c.ctx;

    fast_power<N> f;
    load_number(f.base, ws.base);
    std::memcpy(f.table[0], c.one, sizeof c.one);
    montgomery_multiply<N>(f.table[1], f.base, c.r2, ctx);
    if constexpr (N < number_words) {
        const word top[N] = {f.base[N]};
        montgomery_multiply<N>(f.factor, top, c.r3, ctx);
        add_modulo<N>(f.table[1], f.table[1], f.factor, ctx);
    }
    fill_table<N>(f.table, ctx);

    raise_by_windows<N>(f, ws.exponent, first_window(ws), ctx);
    store_result<N>(ws, f.power, ctx);
    OPENSSL_cleanse(&f, sizeof f);
}

// 3^(d * 16^k) * R mod m for every digit d and every place k of the
// exponent in hexadecimal, so that 3^e is the product of one entry per
// place: windows multiplications and no squaring. The entries are public.
struct powers_of_three {
    montgomery<3> ctx;
    word entry[windows][table_size][3];
};

powers_of_three make_powers_of_three()
{
    const modulus_constants<3> &c = group_constants();
    powers_of_three p{c.ctx, {}};
    const word three[3] = {3};
    for (int k = 0; k < windows; ++k) {
        std::memcpy(p.entry[k][0], c.one, sizeof c.one);
        if (k == 0) {
            montgomery_multiply<3>(p.entry[0][1], c.r2, three, p.ctx);
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
    const int first = first_window(ws);
    select_entry<3>(f.power, p.entry[windows - 1 - first], window_at(ws.exponent, first));
    for (int k = first + 1; k < windows; ++k) {
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

void dh_allow_carry_chains(bool allow)
{
    carry_chains_allowed.store(allow, std::memory_order_relaxed);
}

bool dh_exponentiate_fixed_base(dh_workspace &ws)
{
    if (!is_group_modulus(ws))
        return false;
    exponentiate_three(ws);
    return true;
}

}  // namespace dessec
