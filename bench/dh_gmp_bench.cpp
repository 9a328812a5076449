// dh's peers in GMP: the constant-time mpz_powm_sec and mpz_powm, on the
// texts of dh_bench.cpp with the same text handling, mpz_set_str and
// mpz_get_str. The public key is dh_keysGenerator's exponentiation, base 3;
// the common key is the agreement, a peer's public key as base.
#include <benchmark/benchmark.h>

#include <gmp.h>

#include "dh_bench_texts.h"

using namespace dessec_bench;

namespace {

using gmp_power = void (*)(mpz_ptr, mpz_srcptr, mpz_srcptr, mpz_srcptr);

void run_gmp(benchmark::State &state, base_text base, gmp_power power)
{
    dh_texts t;
    char out[51];
    mpz_t b, e, m, r;
    mpz_inits(b, e, m, r, nullptr);
    for (auto _ : state) {
        mpz_set_str(b, (t.*base).c_str(), 16);
        mpz_set_str(e, t.secret.c_str(), 16);
        mpz_set_str(m, t.modulus.c_str(), 16);
        power(r, b, e, m);
        mpz_get_str(out, 16, r);
        benchmark::DoNotOptimize(out);
    }
    mpz_clears(b, e, m, r, nullptr);
}

void BM_gmp_mpz_powm_sec_dh_public_key(benchmark::State &state) { run_gmp(state, &dh_texts::three, mpz_powm_sec); }
void BM_gmp_mpz_powm_dh_public_key(benchmark::State &state) { run_gmp(state, &dh_texts::three, mpz_powm); }
void BM_gmp_mpz_powm_sec_dh_common_key(benchmark::State &state)
{
    run_gmp(state, &dh_texts::peer_public, mpz_powm_sec);
}
void BM_gmp_mpz_powm_dh_common_key(benchmark::State &state) { run_gmp(state, &dh_texts::peer_public, mpz_powm); }

}  // namespace

BENCHMARK(BM_gmp_mpz_powm_sec_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_sec_dh_common_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_dh_common_key)->Unit(benchmark::kMicrosecond);
