// dh on the fixed group beside OpenSSL's BN_mod_exp on the same texts, hex
// parsing and printing included on both sides (GMP's powers are beside it in
// dh_gmp_bench.cpp). Every name holds "dh", so --benchmark_filter=dh runs the
// pairs.
#include <benchmark/benchmark.h>

#include <string>

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include "dessec.h"
#include "dh_bench_texts.h"

using namespace dessec_bench;

namespace {

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

void BM_dessec_dh_public_key(benchmark::State &state) { run_dessec(state, &dh_texts::three); }
void BM_openssl_BN_mod_exp_dh_public_key(benchmark::State &state) { run_openssl(state, &dh_texts::three); }
void BM_dessec_dh_common_key(benchmark::State &state) { run_dessec(state, &dh_texts::peer_public); }
void BM_openssl_BN_mod_exp_dh_common_key(benchmark::State &state) { run_openssl(state, &dh_texts::peer_public); }

}  // namespace

BENCHMARK(BM_dessec_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_openssl_BN_mod_exp_dh_public_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_dessec_dh_common_key)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_openssl_BN_mod_exp_dh_common_key)->Unit(benchmark::kMicrosecond);
