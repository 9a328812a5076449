// The fast exponentiation step of dh: Montgomery multiplication on 64-bit
// words for an odd modulus from 3 to 2^199 - 1. A modulus below 2^192 (the
// fixed group's is one) takes three words, R = 2^192, with the kernels of
// montgomery_three_words.h; a larger modulus takes four words, R = 2^256.
// The power is taken left to right over windows of 4 exponent bits.
#include "dh/montgomery.h"

#include <bit>

#include "common/built_once.h"
#include "dh/group.h"

namespace dessec {
namespace mont {
namespace {

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

// Newton's iteration x := x * (2 - m * x) doubles the count of correct low
// bits of m^-1, and an odd m is its own inverse modulo 8.
word negated_inverse(word m)
{
    word x = m;
    for (int correct_bits = 3; correct_bits < 64; correct_bits *= 2)
        x *= 2 - m * x;
    return 0 - x;
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

// The group's constants are made once; any other modulus's at every call.
template <int N>
modulus_constants<N> constants_for(const word *modulus)
{
    if constexpr (N == 3) {
        if (std::memcmp(modulus, dh_group_modulus.data(), sizeof(word) * number_words) == 0)
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
    if constexpr (N == 3) {
        if (const carry_chain_kernels *k = carry_chains())
            return k->fill_table(table, ctx);
    }
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

// Left to right over the windows from `first`, the windows above it being
// zero: the power starts at the entry of the first, then four squarings and
// one multiplication per window.
template <int N>
void raise_by_windows(fast_power<N> &f, const unsigned char *exponent, int first, const montgomery<N> &ctx)
{
    if constexpr (N == 3) {
        if (const carry_chain_kernels *k = carry_chains())
            return k->raise(f.power, f.table, exponent, first, ctx);
    }
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

}  // namespace

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

namespace {

modulus_constants<3> make_group_constants()
{
    return constants_of<3>(dh_group_modulus.data());
}

constinit built_once<modulus_constants<3>, make_group_constants> group_constants_table;

}  // namespace

const modulus_constants<3> &group_constants()
{
    return group_constants_table.get();
}

}  // namespace mont

bool dh_exponentiate_fast(dh_workspace &ws)
{
    if (!mont::fast_path_fits(ws))
        return false;
    if (ws.modulus[0] == 0)
        mont::exponentiate<3>(ws);
    else
        mont::exponentiate<4>(ws);
    return true;
}

void dh_allow_carry_chains(bool allow)
{
    mont::carry_chains_allowed.store(allow, std::memory_order_relaxed);
}

}  // namespace dessec
