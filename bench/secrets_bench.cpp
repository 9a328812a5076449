// xencrypt of a 64-digit secret-key record: hex decoding, the password key,
// DES-CBC over four blocks and hex encoding, with its heap buffer. No peer
// offers this text format, so the time stands alone.
#include <benchmark/benchmark.h>

#include <string>

#include "dessec.h"

namespace {

void BM_dessec_xencrypt_record(benchmark::State &state)
{
    // Each call turns the record into another 64-digit text, so it can be fed back.
    std::string record = "0f1e2d3c4b5a69788796a5b4c3d2e1f001122334455667780f1e2d3c4b5a6978";
    for (auto _ : state) {
        benchmark::DoNotOptimize(xencrypt(record.data(), "correct horse"));
        benchmark::ClobberMemory();
    }
}

}  // namespace

BENCHMARK(BM_dessec_xencrypt_record);
