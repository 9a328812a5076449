// DES requests of 8 KiB beside OpenSSL's own calls on the same data, with the
// key schedule built per request on both sides.
#include <benchmark/benchmark.h>

#include <vector>

#include <openssl/des.h>

#include "dessec.h"

namespace {

constexpr unsigned request_len = DESSEC_DES_MAX_LEN;

struct des_inputs {
    char key[8] = {0x01, 0x23, 0x45, 0x67, char(0x89), char(0xab), char(0xcd), char(0xef)};
    char iv[8] = {0x12, 0x34, 0x56, 0x78, char(0x90), char(0xab), char(0xcd), char(0xef)};
    std::vector<char> data = std::vector<char>(request_len, 0x5a);
};

void set_throughput(benchmark::State &state)
{
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * request_len);
}

void BM_dessec_cbc_crypt(benchmark::State &state)
{
    des_inputs in;
    for (auto _ : state) {
        cbc_crypt(in.key, in.data.data(), request_len, des_mode_encrypt, in.iv);
        benchmark::ClobberMemory();
    }
    set_throughput(state);
}

void BM_openssl_DES_ncbc_encrypt(benchmark::State &state)
{
    des_inputs in;
    auto *data = reinterpret_cast<unsigned char *>(in.data.data());
    for (auto _ : state) {
        DES_key_schedule ks;
        DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(in.key), &ks);
        DES_ncbc_encrypt(data, data, request_len, &ks, reinterpret_cast<DES_cblock *>(in.iv), DES_ENCRYPT);
        benchmark::ClobberMemory();
    }
    set_throughput(state);
}

void BM_dessec_ecb_crypt(benchmark::State &state)
{
    des_inputs in;
    for (auto _ : state) {
        ecb_crypt(in.key, in.data.data(), request_len, des_mode_encrypt);
        benchmark::ClobberMemory();
    }
    set_throughput(state);
}

void BM_openssl_DES_ecb_encrypt(benchmark::State &state)
{
    des_inputs in;
    auto *data = reinterpret_cast<unsigned char *>(in.data.data());
    for (auto _ : state) {
        DES_key_schedule ks;
        DES_set_key_unchecked(reinterpret_cast<const_DES_cblock *>(in.key), &ks);
        for (unsigned at = 0; at < request_len; at += 8) {
            auto *block = reinterpret_cast<DES_cblock *>(data + at);
            DES_ecb_encrypt(block, block, &ks, DES_ENCRYPT);
        }
        benchmark::ClobberMemory();
    }
    set_throughput(state);
}

}  // namespace

BENCHMARK(BM_dessec_cbc_crypt);
BENCHMARK(BM_openssl_DES_ncbc_encrypt);
BENCHMARK(BM_dessec_ecb_crypt);
BENCHMARK(BM_openssl_DES_ecb_encrypt);
