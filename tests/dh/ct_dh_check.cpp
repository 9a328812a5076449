// Run under valgrind's memcheck: for each case the texts are parsed, the
// parsed exponent and base are marked undefined, and only the exponentiation
// step runs; its result is marked defined again before it is printed. A
// conditional jump or a memory address that depends on the exponent, the
// base or anything computed from them is then a memcheck error. Exits 1 when
// a printed result differs from the expected text. Memcheck's processor has
// no carry-chain instructions, so the three-word steps run their portable
// code here; the carry-chain code is straight-line assembly.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "dessec.h"
#include "dh/dh.h"

namespace {

enum class step { generic, fast, fixed_base };

struct ct_case {
    const char *name;
    step taken;
    std::string base, exponent, modulus;
    std::string expected;
};

const std::string group_modulus = DESSEC_DH_MODULUS;
const std::string secret = "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06";
const std::string peer_public = "ce866f6b3b3cbee6bd2e98424c44989f2deda6fbddc84821";
const std::string common_key = "C92185E48A08A853309A96989832FDCA06AE7551BBF538AB";

bool check(const ct_case &c)
{
    auto ws = std::make_unique<dessec::dh_workspace>();
    ws->width = dessec::dh_width;
    std::string base = c.base, exponent = c.exponent, modulus = c.modulus;
    dessec::big_from_hex(base.data(), ws->base, *ws);
    dessec::big_from_hex(exponent.data(), ws->exponent, *ws);
    dessec::big_from_hex(modulus.data(), ws->modulus, *ws);

    VALGRIND_MAKE_MEM_UNDEFINED(ws->exponent, dessec::dh_width);
    VALGRIND_MAKE_MEM_UNDEFINED(ws->base, dessec::dh_width);
    bool ran = true;
    if (c.taken == step::fast)
        ran = dessec::dh_exponentiate_fast(*ws);
    else if (c.taken == step::fixed_base)
        ran = dessec::dh_exponentiate_fixed_base(*ws);
    else
        dessec::dh_exponentiate_generic(*ws);
    VALGRIND_MAKE_MEM_DEFINED(ws->result, dessec::dh_width);

    char out[64] = {};
    dessec::big_to_hex(ws->result, out, *ws);
    const bool ok = ran && c.expected == out;
    std::printf("%s %s: %s\n", ok ? "ok" : "FAILED", c.name, ran ? out : "fast path refused the modulus");
    return ok;
}

}  // namespace

int main()
{
    const ct_case cases[] = {
        {"fixed-base path, public key", step::fixed_base, "3", secret, group_modulus,
         "53AC9DAA8F90FF30F26424BD2CC4CF307D2160F1B90655EF"},
        {"fast path, public key", step::fast, "3", secret, group_modulus,
         "53AC9DAA8F90FF30F26424BD2CC4CF307D2160F1B90655EF"},
        {"fast path, common key", step::fast, peer_public, secret, group_modulus, common_key},
        {"fast path, four words", step::fast, std::string(50, 'f'), secret,
         "7fffffffffffffffffffffffffffffffff000000000000001d",
         "459F08FC604F6D88006CF8D6FC5C18BC589FC1057C910F1D6A"},
        {"generic path, common key", step::generic, peer_public, secret, group_modulus, common_key},
        {"generic path, even modulus", step::generic, peer_public, secret, group_modulus.substr(0, 47) + "c",
         "33EC41A7CD3040A954715C62ADFA2DFE1D46E5EC126926C9"},
    };
    int failures = 0;
    for (const auto &c : cases)
        failures += check(c) ? 0 : 1;
    return failures == 0 ? 0 : 1;
}
