// dh's two exponentiation paths side by side. The input is cut at its first
// two NUL bytes into the base, exponent and modulus texts (every other byte
// may stand in a text, and a byte of 0x80 or more ends one as dh reads it),
// and dh_power runs on exact heap copies of them, once on the fast path and
// once on the bit-serial one. Wherever the fast path takes the modulus, both
// must write the same bytes into the same 51-byte output and leave the three
// texts rewritten alike; a difference aborts the run.
#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "dh/dh.h"

namespace {

constexpr std::size_t output_size = 51;  // 50 digits and a NUL: room for any result

struct path_run {
    bool taken;
    std::string texts[3];  // base, exponent, modulus as the call left them
    std::string out;
};

std::unique_ptr<char[]> exact_copy(const std::string &s)
{
    auto block = std::make_unique<char[]>(s.size() + 1);
    std::memcpy(block.get(), s.c_str(), s.size() + 1);
    return block;
}

path_run run_path(const std::string (&texts)[3], dessec::dh_path path)
{
    auto base = exact_copy(texts[0]), exponent = exact_copy(texts[1]), modulus = exact_copy(texts[2]);
    auto out = std::make_unique<char[]>(output_size);
    std::memset(out.get(), '#', output_size);
    const bool taken = dessec::dh_power(base.get(), exponent.get(), modulus.get(), out.get(), path);
    return {taken,
            {std::string(base.get(), texts[0].size()), std::string(exponent.get(), texts[1].size()),
             std::string(modulus.get(), texts[2].size())},
            std::string(out.get(), output_size)};
}

[[noreturn]] void paths_differ(const char *what)
{
    std::fprintf(stderr, "dh's fast and generic paths differ in %s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char *>(data), size);
    std::string texts[3];
    std::size_t from = 0;
    for (int k = 0; k < 3; ++k) {
        const std::size_t end = k < 2 ? std::min(input.find('\0', from), size) : size;
        texts[k] = input.substr(from, end - from);
        from = std::min(end + 1, size);
    }
    const path_run fast = run_path(texts, dessec::dh_path::fast);
    if (!fast.taken)
        return 0;
    const path_run generic = run_path(texts, dessec::dh_path::generic);
    if (fast.out != generic.out)
        paths_differ("the output");
    for (int k = 0; k < 3; ++k) {
        if (fast.texts[k] != generic.texts[k])
            paths_differ("the rewritten texts");
    }
    return 0;
}
