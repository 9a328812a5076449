// The fixed-base step of key generation: 3 ^ exponent mod the fixed group's
// modulus from a table of powers of 3, one multiplication per hexadecimal
// digit of the exponent and no squaring.
#include "dh/montgomery.h"

#include "common/built_once.h"
#include "dh/group.h"

namespace dessec {
namespace mont {
namespace {

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
    const word three[3] = {dh_group_base[0]};
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

constinit built_once<powers_of_three, make_powers_of_three> three_powers_table;

const powers_of_three &three_powers()
{
    return three_powers_table.get();
}

bool is_group_modulus(const dh_workspace &ws)
{
    if (ws.width != dh_width)
        return false;
    word modulus[number_words];
    load_number(modulus, ws.modulus);
    return std::memcmp(modulus, dh_group_modulus.data(), sizeof modulus) == 0;
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
}  // namespace mont

bool dh_exponentiate_fixed_base(dh_workspace &ws)
{
    if (!mont::is_group_modulus(ws))
        return false;
    mont::exponentiate_three(ws);
    return true;
}

}  // namespace dessec
