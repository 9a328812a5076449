// Password hashes beside the system crypt library with the same passwords and
// settings: the DES-based hash with a two-character and an extended setting,
// and the check of a "$1$" hash, which the system side does as crypt_r and a
// text comparison.
#include <benchmark/benchmark.h>

#include <crypt.h>

#include <cstring>
#include <memory>
#include <string>

#include "dessec.h"

namespace {

constexpr const char *bench_password = "benchmark";
constexpr const char *traditional_setting = "ab";
constexpr const char *extended_setting = "_J9..CCCC";

void run_passwd_crypt(benchmark::State &state, const char *setting)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(passwd_crypt(bench_password, setting));
}

void run_crypt_r(benchmark::State &state, const char *setting)
{
    auto data = std::make_unique<crypt_data>();
    for (auto _ : state)
        benchmark::DoNotOptimize(crypt_r(bench_password, setting, data.get()));
}

void BM_dessec_passwd_crypt_traditional(benchmark::State &state) { run_passwd_crypt(state, traditional_setting); }
void BM_crypt_r_traditional(benchmark::State &state) { run_crypt_r(state, traditional_setting); }
void BM_dessec_passwd_crypt_extended(benchmark::State &state) { run_passwd_crypt(state, extended_setting); }
void BM_crypt_r_extended(benchmark::State &state) { run_crypt_r(state, extended_setting); }

std::string md5_stored_hash()
{
    auto data = std::make_unique<crypt_data>();
    return crypt_r(bench_password, "$1$saltsalt", data.get());
}

void BM_dessec_passwd_verify_md5(benchmark::State &state)
{
    const std::string stored = md5_stored_hash();
    for (auto _ : state)
        benchmark::DoNotOptimize(passwd_verify(bench_password, stored.c_str()));
}

void BM_crypt_r_md5_and_strcmp(benchmark::State &state)
{
    const std::string stored = md5_stored_hash();
    auto data = std::make_unique<crypt_data>();
    for (auto _ : state)
        benchmark::DoNotOptimize(std::strcmp(crypt_r(bench_password, stored.c_str(), data.get()), stored.c_str()));
}

}  // namespace

BENCHMARK(BM_dessec_passwd_crypt_traditional);
BENCHMARK(BM_crypt_r_traditional);
BENCHMARK(BM_dessec_passwd_crypt_extended);
BENCHMARK(BM_crypt_r_extended);
BENCHMARK(BM_dessec_passwd_verify_md5);
BENCHMARK(BM_crypt_r_md5_and_strcmp);
