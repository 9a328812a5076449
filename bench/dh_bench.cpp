// dh on the fixed group beside OpenSSL's BN_mod_exp and GMP's mpz_powm_sec
// (constant time) and mpz_powm on the same texts, hex parsing and printing
// included on every side. The public key is dh_keysGenerator's
// exponentiation, base 3; the common key is the agreement, a peer's public
// key as base. Every name holds "dh", so --benchmark_filter=dh runs them all.
#include <benchmark/benchmark.h>

#include <string>

#include <gmp.h>
#include <openssl/bn.h>
#include <openssl/crypto.h>

#include "dessec.h"

namespace {

struct dh_texts {
    std::string modulus = "d4a0ba0250b6fd2ec626e7efd637df76c716e22d0944b88b";
    std::string secret = "8f3a27c55b0e1d964ac2f07e13b94d6a80c5e21f7d394b06";
    std::string three = "3";
    std::string peer_public;

    dh_texts()
    {
        std::string peer_secret = "3b9e0c71d24a68f5e0b7c3192d8a4f6e517c0b3d9a2e8f41";
        char out[49] = {};
        dh(three.data(), peer_secret.data(), modulus.data(), out);
        peer_public = out;
    }
};

// The base is one of the texts: 3 for a public key, the peer's public key
// for a common key.
using base_text = std::string dh_texts::*;

void run_dessec(benchmark::State &state, base_text base)
{
    dh_texts t;
    char out[51];
    for (auto _ : state) {
        dh((t.*base).data(), t.secret.data(), t.modulus.data(), out);
        benchmark::DoNotOptimize(out);
    }
}

void run_openssl(benchmark::State &state, base_text base)
{
    dh_texts t;
    BN_CTX *ctx = BN_CTX_new();
    for (auto _ : state) {
        BIGNUM *b = nullptr, *e = nullptr, *m = nullptr, *r = BN_new();
        BN_hex2bn(&b, (t.*base).c_str());
        BN_hex2bn(&e, t.secret.c_str());
        BN_hex2bn(&m, t.modulus.c_str());
        BN_mod_exp(r, b, e, m, ctx);
        char *hex = BN_bn2hex(r);
        benchmark::DoNotOptimize(hex);
        OPENSSL_free(hex);
        BN_free(b);
        BN_free(e);
        BN_free(m);
        BN_free(r);
    }
    BN_CTX_free(ctx);
}

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

void BM_dessec_dh_public_key(benchmark::State &state) { run_dessec(state, &dh_texts::three); }
void BM_openssl_BN_mod_exp_dh_public_key(benchmark::State &state) { run_openssl(state, &dh_texts::three); }
void BM_dessec_dh_common_key(benchmark::State &state) { run_dessec(state, &dh_texts::peer_public); }
void BM_openssl_BN_mod_exp_dh_common_key(benchmark::State &state) { run_openssl(state, &dh_texts::peer_public); }

void BM_gmp_mpz_powm_sec_dh_public_key(benchmark::State &state) { run_gmp(state, &dh_texts::three, mpz_powm_sec); }
void BM_gmp_mpz_powm_dh_public_key(benchmark::State &state) { run_gmp(state, &dh_texts::three, mpz_powm); }
void BM_gmp_mpz_powm_sec_dh_common_key(benchmark::State &state)
{
    run_gmp(state, &dh_texts::peer_public, mpz_powm_sec);
}
void BM_gmp_mpz_powm_dh_common_key(benchmark::State &state) { run_gmp(state, &dh_texts::peer_public, mpz_powm); }

}  // namespace

BENCHMARK(BM_dessec_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_openssl_BN_mod_exp_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_dessec_dh_common_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_openssl_BN_mod_exp_dh_common_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_sec_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_sec_dh_common_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_gmp_mpz_powm_dh_common_key)->Unit(benchmark::kMicrosecond);
