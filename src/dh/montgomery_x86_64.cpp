// The three-word Montgomery code of x86-64 processors: selection by
// conditional moves, and where the processor has mulx, adcx and adox, the
// multiplication, the squaring, the window table and the windows by two
// carry chains at once. Compiled on x86-64 alone, System V and Windows
// alike: the blocks of assembly name every register they write, and the
// compiler saves whichever of those the calling convention preserves.
#include <cpuid.h>

#include "dh/montgomery.h"

namespace dessec::mont {
namespace {

// Three words by conditional moves from memory: every entry is loaded, and
// the one whose place equals the index is kept. Fewer instructions than the
// masks, which the windows of the carry chains feel.
[[gnu::always_inline]] inline void select_by_moves(word *entry, const word (*table)[3], word index)
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

// Where the processor has mulx, adcx and adox (BMI2 and ADX), the product
// and its reduction take two carry chains at once, CF and OF, over
// flag-neutral multiplications: some half the instructions of the code the
// compiler makes from 128-bit arithmetic. The processor is asked once, by
// carry_chains.
bool has_carry_chains()
{
    unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
    constexpr unsigned bmi2 = 1u << 8, adx = 1u << 19;
    return __get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx) != 0 && (ebx & (bmi2 | adx)) == (bmi2 | adx);
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

// out := a * b / R mod m as montgomery_multiply<3> does, by the carry chains,
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

// out := a * a / R mod m as montgomery_square<3> does, by the carry chains.
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

// fill_table by the carry chains, the operands laid out once.
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
    select_by_moves(c.factor, table, window_at(exponent, first));
    word a0 = c.factor[0], a1 = c.factor[1], a2 = c.factor[2];
    for (int k = first + 1; k < windows; ++k) {
        // Read first: the entry depends on nothing the squarings make, so the
        // processor scans the table while they run.
        select_by_moves(c.factor, table, window_at(exponent, k));
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

constexpr carry_chain_kernels kernels = {multiply_by_carry_chains, square_by_carry_chains,
                                         fill_table_by_carry_chains, raise_by_carry_chains};

}  // namespace

void select_entry_3(word *entry, const word (*table)[3], word index)
{
    select_by_moves(entry, table, index);
}

const carry_chain_kernels *processor_carry_chains()
{
    return has_carry_chains() ? &kernels : nullptr;
}

}  // namespace dessec::mont
