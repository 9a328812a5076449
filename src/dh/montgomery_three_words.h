// Three words, the fixed group's size, have a multiplication and a squaring
// of their own: the whole six-word product first (six word products instead
// of nine for a square), then three rounds of reduction. They work on named
// words, which the compiler keeps in registers; wiping them would force
// them through memory at every multiplication, so only the numbers between
// multiplications are wiped, by the callers. Where the processor has faster
// code of its own (montgomery_processor.h), they take it.
#pragma once

#include "dh/montgomery_generic.h"
#include "dh/montgomery_processor.h"

namespace dessec::mont {

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

template <>
inline void montgomery_multiply<3>(word *out, const word *a, const word *b, const montgomery<3> &ctx)
{
    if (const carry_chain_kernels *k = carry_chains())
        return k->multiply(out, a, b, ctx);
    reduce_3(out, multiply_3(a, b), ctx);
}

template <>
inline void montgomery_square<3>(word *out, const word *a, const montgomery<3> &ctx)
{
    if (const carry_chain_kernels *k = carry_chains())
        return k->square(out, a, ctx);
    reduce_3(out, square_3(a), ctx);
}

template <>
[[gnu::always_inline]] inline void select_entry<3>(word *entry, const word (*table)[3], word index)
{
    select_entry_3(entry, table, index);
}

}  // namespace dessec::mont
