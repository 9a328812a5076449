// The salted DES engine: FIPS 46 DES computed on 4-bit lookup tables derived
// once from the standard tables, with a salt that exchanges pairs of E output
// bits and an iteration count.
//
// Working values keep FIPS bit n of a byte string at position
// 8 * ((n - 1) / 8) + 7 - (n - 1) % 8, that is with the bit order inside each
// byte reversed. 48-bit E-domain values are held in spread form: byte g
// carries the six bits of S-box group g + 1 in its bits 2-7, the group's first
// bit in bit 2, so word 0 holds E bits 1-24 and word 1 E bits 25-48.
//
// One file of some 400 lines: the tables, their builders and the rounds all
// depend on this one bit layout, which a split would scatter.
#include "passwd/passwd.h"

#include <bit>
#include <cstring>
#include <utility>

#include <openssl/crypto.h>

#include "common/built_once.h"

namespace dessec {
namespace {

// FIPS 46 tables, 1-based bit numbers.
constexpr unsigned char initial_perm[64] = {
    58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
    62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
    57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
    61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

constexpr unsigned char expansion[48] = {
    32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
    12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
    22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

constexpr unsigned char permuted_choice_1[56] = {
    57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
    10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
    63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
    14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

constexpr unsigned char rotation_schedule[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

// PC-2 in eight groups of eight: each group's six subkey bits are preceded by
// two register bits, in groups 0 to 3 the eight that PC-2 leaves out. They
// ride along in bits 0-1 of bytes 0-3 from one key step to the next.
constexpr unsigned char pc2_grouped[64] = {
    9,  18, 14, 17, 11, 24, 1,  5,  22, 25, 3,  28, 15, 6,  21, 10,
    35, 38, 23, 19, 12, 4,  26, 8,  43, 54, 16, 7,  27, 20, 13, 2,
    0,  0,  41, 52, 31, 37, 47, 55, 0,  0,  30, 40, 51, 45, 33, 48,
    0,  0,  44, 49, 39, 56, 34, 53, 0,  0,  46, 42, 50, 36, 29, 32};

constexpr unsigned char sboxes[8][64] = {
    {14, 4,  13, 1,  2,  15, 11, 8,  3,  10, 6,  12, 5,  9,  0,  7,
     0,  15, 7,  4,  14, 2,  13, 1,  10, 6,  12, 11, 9,  5,  3,  8,
     4,  1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,  3,  10, 5,  0,
     15, 12, 8,  2,  4,  9,  1,  7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4,  9,  7,  2,  13, 12, 0,  5,  10,
     3,  13, 4,  7,  15, 2,  8,  14, 12, 0,  1,  10, 6,  9,  11, 5,
     0,  14, 7,  11, 10, 4,  13, 1,  5,  8,  12, 6,  9,  3,  2,  15,
     13, 8,  10, 1,  3,  15, 4,  2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6,  3,  15, 5,  1,  13, 12, 7,  11, 4,  2,  8,
     13, 7,  0,  9,  3,  4,  6,  10, 2,  8,  5,  14, 12, 11, 15, 1,
     13, 6,  4,  9,  8,  15, 3,  0,  11, 1,  2,  12, 5,  10, 14, 7,
     1,  10, 13, 0,  6,  9,  8,  7,  4,  15, 14, 3,  11, 5,  2,  12},
    {7,  13, 14, 3,  0,  6,  9,  10, 1,  2,  8,  5,  11, 12, 4,  15,
     13, 8,  11, 5,  6,  15, 0,  3,  4,  7,  2,  12, 1,  10, 14, 9,
     10, 6,  9,  0,  12, 11, 7,  13, 15, 1,  3,  14, 5,  2,  8,  4,
     3,  15, 0,  6,  10, 1,  13, 8,  9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4,  1,  7,  10, 11, 6,  8,  5,  3,  15, 13, 0,  14, 9,
     14, 11, 2,  12, 4,  7,  13, 1,  5,  0,  15, 10, 3,  9,  8,  6,
     4,  2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,  6,  3,  0,  14,
     11, 8,  12, 7,  1,  14, 2,  13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6,  8,  0,  13, 3,  4,  14, 7,  5,  11,
     10, 15, 4,  2,  7,  12, 9,  5,  6,  1,  13, 14, 0,  11, 3,  8,
     9,  14, 15, 5,  2,  8,  12, 3,  7,  0,  4,  10, 1,  13, 11, 6,
     4,  3,  2,  12, 9,  5,  15, 10, 11, 14, 1,  7,  6,  0,  8,  13},
    {4,  11, 2,  14, 15, 0,  8,  13, 3,  12, 9,  7,  5,  10, 6,  1,
     13, 0,  11, 7,  4,  9,  1,  10, 14, 3,  5,  12, 2,  15, 8,  6,
     1,  4,  11, 13, 12, 3,  7,  14, 10, 15, 6,  8,  0,  5,  9,  2,
     6,  11, 13, 8,  1,  4,  10, 7,  9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2,  8,  4,  6,  15, 11, 1,  10, 9,  3,  14, 5,  0,  12, 7,
     1,  15, 13, 8,  10, 3,  7,  4,  12, 5,  6,  11, 0,  14, 9,  2,
     7,  11, 4,  1,  9,  12, 14, 2,  0,  6,  10, 13, 15, 3,  5,  8,
     2,  1,  14, 7,  4,  10, 8,  13, 15, 12, 9,  0,  3,  5,  6,  11}};

constexpr unsigned char perm_p[32] = {
    16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
    2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

// For each position of the compressed form, the preoutput bit it holds:
// byte g of each word takes bits 4g+1..4g+4 of its half in the low nibble and
// bits 4g+17..4g+20 in the high nibble.
constexpr unsigned char compressed_order[64] = {
    1,  2,  3,  4,  17, 18, 19, 20, 5,  6,  7,  8,  21, 22, 23, 24,
    9,  10, 11, 12, 25, 26, 27, 28, 13, 14, 15, 16, 29, 30, 31, 32,
    33, 34, 35, 36, 49, 50, 51, 52, 37, 38, 39, 40, 53, 54, 55, 56,
    41, 42, 43, 44, 57, 58, 59, 60, 45, 46, 47, 48, 61, 62, 63, 64};

// A permutation by lookup from Bytes input bytes to one working value: chunk
// 2i is the low nibble of input byte i, chunk 2i + 1 its high nibble, and the
// entry for a chunk's value holds the output bits that its set bits feed.
template <int Bytes>
struct nibble_perm_table {
    working_value entry[2 * Bytes][16];
};

// An sbox_p_tables entry holds word 0 and word 1 of its spread value together,
// so that a round takes one lookup per group for both words.
struct salted_des_tables {
    nibble_perm_table<8> key_start_table;
    nibble_perm_table<8> key_step_tables[2];  // rotation by one, by two
    nibble_perm_table<4> half_expand_table;
    nibble_perm_table<8> final_perm_table;
    working_value sbox_p_tables[8][64];        // S-box, 6-bit group value
    unsigned char crypt64_reverse[128];
};

// 0-based working position of FIPS bit n, 1 to 64: the bit order within each
// byte is reversed.
unsigned working_index(unsigned n)
{
    const unsigned m = (n - 1) % 64;
    return (m | 7) - (m & 7);
}

// 1-based working position of FIPS bit n; 0 stays 0.
unsigned char byte_reversed(unsigned n)
{
    return n == 0 ? 0 : static_cast<unsigned char>(working_index(n) + 1);
}

// map: for each output position the 1-based input position, or 0 for an
// output bit that is always zero. The table must be zero before.
template <int Bytes>
void nibble_perm_fill(nibble_perm_table<Bytes> &table, const unsigned char (&map)[64])
{
    for (unsigned k = 0; k < 64; ++k) {
        if (map[k] == 0)
            continue;
        const unsigned s = map[k] - 1u;
        const unsigned mask = 1u << (s % 4);
        for (unsigned v = 0; v < 16; ++v) {
            if (v & mask)
                table.entry[s / 4][v] |= working_value{1} << k;
        }
    }
}

// Input byte i is bits 8i to 8i + 7 of in.
template <int Bytes>
working_value nibble_perm_apply(working_value in, const nibble_perm_table<Bytes> &table)
{
    working_value out = 0;
#pragma GCC unroll 16
    for (int c = 0; c < 2 * Bytes; ++c)
        out |= table.entry[c][(in >> (4 * c)) & 15u];
    return out;
}

void build_crypt64_reverse(salted_des_tables &t)
{
    for (unsigned i = 0; i < 64; ++i)
        t.crypt64_reverse[static_cast<unsigned char>(crypt64_alphabet[i])] = static_cast<unsigned char>(i);
}

// The register after PC-1 and the first rotation, arranged by pc2_grouped.
void build_key_start_table(salted_des_tables &t)
{
    const int r = rotation_schedule[0];
    unsigned char map[64];
    for (int i = 0; i < 64; ++i) {
        if (pc2_grouped[i] == 0) {
            map[i] = 0;
            continue;
        }
        int q = pc2_grouped[i] + r - 1;
        if (q % 28 < r)
            q -= 28;
        map[i] = byte_reversed(permuted_choice_1[q]);
    }
    nibble_perm_fill(t.key_start_table, map);
}

// From one grouped register to the next after both 28-bit halves have
// rotated left by j + 1 more places.
void build_key_step_tables(salted_des_tables &t)
{
    unsigned char inverse[56] = {};
    for (int i = 0; i < 64; ++i) {
        if (pc2_grouped[i] != 0)
            inverse[pc2_grouped[i] - 1] = static_cast<unsigned char>(i + 1);
    }
    for (int j = 0; j < 2; ++j) {
        unsigned char map[64];
        for (int i = 0; i < 64; ++i) {
            if (pc2_grouped[i] == 0) {
                map[i] = 0;
                continue;
            }
            int q = pc2_grouped[i] + j;
            if (q % 28 <= j)
                q -= 28;
            map[i] = inverse[q];
        }
        nibble_perm_fill(t.key_step_tables[j], map);
    }
}

// E of one half of IP(in), in spread form, from that half's bits gathered
// into one word as salted_des_iterate gathers them.
void build_half_expand_table(salted_des_tables &t)
{
    unsigned char map[64];
    for (int g = 0; g < 8; ++g) {
        for (int j = 0; j < 8; ++j) {
            if (j < 2) {
                map[8 * g + j] = 0;
                continue;
            }
            const int e = expansion[6 * g + j - 2];
            int k = initial_perm[e - 1];
            k = k > 32 ? k - 32 : k - 1;
            map[8 * g + j] = byte_reversed(static_cast<unsigned>(k));
        }
    }
    nibble_perm_fill(t.half_expand_table, map);
}

// From the compressed preoutput to the FIPS 46 output: FP is the inverse of IP.
void build_final_perm_table(salted_des_tables &t)
{
    unsigned char map[64] = {};
    for (int i = 0; i < 64; ++i) {
        map[working_index(initial_perm[compressed_order[i] - 1])] = static_cast<unsigned char>(i + 1);
    }
    nibble_perm_fill(t.final_perm_table, map);
}

// S-box t, then P, then the E of the next round, in spread form. Bit 0 of v
// is the group's first E bit.
void build_sbox_p_tables(salted_des_tables &t)
{
    for (int box = 0; box < 8; ++box) {
        for (unsigned v = 0; v < 64; ++v) {
            const unsigned index = (v & 1) << 5 | (v >> 5 & 1) << 4 | (v >> 1 & 1) << 3
                                   | (v >> 2 & 1) << 2 | (v >> 3 & 1) << 1 | (v >> 4 & 1);
            const unsigned s = sboxes[box][index];
            bool s_out[33] = {}, p_out[33] = {};
            for (int b = 0; b < 4; ++b)
                s_out[4 * box + 1 + b] = (s >> (3 - b)) & 1;
            for (int i = 1; i <= 32; ++i)
                p_out[i] = s_out[perm_p[i - 1]];
            std::uint32_t words[2] = {0, 0};
            for (int k = 0; k < 48; ++k) {
                if (p_out[expansion[k]])
                    words[k / 24] |= 1u << (8 * (k % 24 / 6) + 2 + k % 6);
            }
            t.sbox_p_tables[box][v] = words[0] | working_value{words[1]} << 32;
        }
    }
}

salted_des_tables salted_des_build_tables()
{
    salted_des_tables t{};
    build_crypt64_reverse(t);
    build_key_start_table(t);
    build_key_step_tables(t);
    build_half_expand_table(t);
    build_final_perm_table(t);
    build_sbox_p_tables(t);
    return t;
}

constinit built_once<salted_des_tables, salted_des_build_tables> tables_built;

const salted_des_tables &engine_tables()
{
    return tables_built.get();
}

// A block as one 64-bit word, byte 0 least significant, on any host.
working_value load_le64(const unsigned char *p)
{
    working_value v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | p[i];
    return v;
}

void store_le64(unsigned char *p, working_value v)
{
    for (int i = 0; i < 8; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// Salt bits 0-23 in spread form in both words: bit b lies where E bit b + 1
// lies in word 0 and E bit b + 25 in word 1.
working_value spread_salt(std::uint32_t salt)
{
    std::uint32_t mask = 0;
    for (int g = 0; g < 4; ++g)
        mask |= ((salt >> (6 * g)) & 63u) << (8 * g + 2);
    return mask | working_value{mask} << 32;
}

using sbox_p_entries = working_value[8][64];

// Byte g of a spread value is four times group g's 6-bit value, so twice the
// byte is the byte offset of the group's 8-byte entry.
[[gnu::always_inline]] inline working_value sbox_p_entry(const working_value (&box)[64], unsigned char byte)
{
    working_value entry;
    std::memcpy(&entry, reinterpret_cast<const unsigned char *>(box) + 2 * std::size_t{byte}, sizeof entry);
    return entry;
}

// f(Q, K) = P(S(E(Q) XOR K)) with the salt exchange applied to E(Q) first,
// already expanded by E for the next round. Q XOR (Q rotated by 32) holds
// word 0 XOR word 1 in both words, so one mask exchanges the salted bits.
[[gnu::always_inline]] inline working_value round_function(working_value q, working_value k, working_value salt_mask,
                                                           const sbox_p_entries &sp)
{
    const working_value b = q ^ ((q ^ std::rotl(q, 32)) & salt_mask) ^ k;
    const auto entry = [&](int g) { return sbox_p_entry(sp[g], static_cast<unsigned char>(b >> (8 * g))); };
    return entry(0) ^ entry(1) ^ entry(2) ^ entry(3) ^ entry(4) ^ entry(5) ^ entry(6) ^ entry(7);
}

// Each pass is 16 rounds without the exchange of halves between them, then
// one exchange; between passes FP followed by IP would be the identity.
template <bool Decrypt>
void run_passes(working_value &left, working_value &right, std::uint32_t passes, working_value salt_mask,
                const salted_des_key_schedule &schedule, const sbox_p_entries &sp)
{
    const working_value *k = schedule.subkey;
    working_value l = left, r = right;
    for (; passes > 0; --passes) {
#pragma GCC unroll 8
        for (int round = 0; round < 16; round += 2) {
            l ^= round_function(r, k[Decrypt ? 15 - round : round], salt_mask, sp);
            r ^= round_function(l, k[Decrypt ? 14 - round : round + 1], salt_mask, sp);
        }
        std::swap(l, r);
    }
    left = l;
    right = r;
}

// The middle four bits of each spread group: byte g takes group g in its low
// nibble and group g + 4 in its high nibble.
working_value compress_half(working_value h)
{
    return ((h >> 3) & 0x0f0f0f0fu) | ((h >> 31) & 0xf0f0f0f0u);
}

}  // namespace

unsigned crypt64_value(unsigned char c)
{
    return c < 128 ? engine_tables().crypt64_reverse[c] : 0u;
}

// The mask clears bits 0-1 of bytes 0-3, where the register bits that PC-2
// leaves out travel from step to step.
void salted_des_load_key(const unsigned char key[8], salted_des_key_schedule &schedule)
{
    constexpr working_value subkey_mask = 0xfffffffffcfcfcfcu;
    const salted_des_tables &t = engine_tables();
    working_value k = nibble_perm_apply(load_le64(key), t.key_start_table);
    schedule.subkey[0] = k & subkey_mask;
    for (int i = 1; i < 16; ++i) {
        k = nibble_perm_apply(k, t.key_step_tables[rotation_schedule[i] - 1]);
        schedule.subkey[i] = k & subkey_mask;
    }
    OPENSSL_cleanse(&k, sizeof k);
}

// The even FIPS bits of the block (the left half of IP) are gathered into
// one word and the odd bits into another; the expansion table then yields E
// of each half directly.
void salted_des_iterate(const unsigned char in[8], unsigned char out[8], std::uint32_t salt,
                        std::int32_t count, const salted_des_key_schedule &schedule)
{
    const salted_des_tables &t = engine_tables();
    const working_value salt_mask = spread_salt(salt);
    // The input is the password's key block when the extended format folds it.
    struct {
        working_value w;
        std::uint32_t even, odd;
    } split;
    split.w = load_le64(in);
    const auto word = [&](int i) { return static_cast<std::uint32_t>(split.w >> (32 * i)); };
    split.even = ((word(0) & 0x55555555u) << 1) | (word(1) & 0x55555555u);
    split.odd = (word(0) & 0xaaaaaaaau) | ((word(1) >> 1) & 0x55555555u);
    working_value l = nibble_perm_apply(split.even, t.half_expand_table);
    working_value r = nibble_perm_apply(split.odd, t.half_expand_table);
    OPENSSL_cleanse(&split, sizeof split);
    if (count >= 0)
        run_passes<false>(l, r, static_cast<std::uint32_t>(count), salt_mask, schedule, t.sbox_p_tables);
    else
        run_passes<true>(l, r, 0u - static_cast<std::uint32_t>(count), salt_mask, schedule, t.sbox_p_tables);
    working_value compressed = compress_half(l) | compress_half(r) << 32;
    store_le64(out, nibble_perm_apply(compressed, t.final_perm_table));
    OPENSSL_cleanse(&compressed, sizeof compressed);
    OPENSSL_cleanse(&l, sizeof l);
    OPENSSL_cleanse(&r, sizeof r);
}

}  // namespace dessec
