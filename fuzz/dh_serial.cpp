// dh's bit-serial step, which dh takes for even moduli (and for those the
// fast step cannot take). It costs some forty times more at the width of dh,
// so most inputs run it at a width of 1 to 8 bytes (by the first byte), where
// the arithmetic is the same and an input takes well under a millisecond:
// texts of digits and an even modulus, against BN_mod_exp. One input in 32,
// chosen by a hash of the whole input so that mutations of a full-width input
// mostly run narrow, runs it at full width on the input after its first byte,
// cut at its first two NUL bytes into base, exponent and modulus (any other
// byte may stand in a text): against BN_mod_exp where the texts are digits,
// and wherever the fast step takes the modulus, against it, on the output and
// on the texts as the call rewrote them; so also the fixed-base step where
// the base is 3 and the modulus the group's.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "dh/dh.h"
#include "dh_reference.h"

using namespace dessec_fuzz;

namespace {

constexpr std::size_t full_output = 51;  // 50 digits and a NUL: room for any result
constexpr char untouched = '#';

struct path_run {
    bool taken;
    std::string texts[3];  // base, exponent, modulus as the call left them
    std::string out;
};

path_run run_path(const std::string (&texts)[3], dessec::dh_path path)
{
    const auto base = heap_copy(texts[0], true), exponent = heap_copy(texts[1], true),
               modulus = heap_copy(texts[2], true);
    const auto out = heap_copy(std::string(full_output, untouched), false);
    const bool taken = dessec::dh_power(base.get(), exponent.get(), modulus.get(), out.get(), path);
    return {taken,
            {std::string(base.get(), texts[0].size()), std::string(exponent.get(), texts[1].size()),
             std::string(modulus.get(), texts[2].size())},
            std::string(out.get(), full_output)};
}

void check_full_width(const std::string &input)
{
    std::string texts[3];
    std::size_t from = 0;
    for (int k = 0; k < 3; ++k) {
        const std::size_t end = k < 2 ? std::min(input.find('\0', from), input.size()) : input.size();
        texts[k] = input.substr(from, end - from);
        from = std::min(end + 1, input.size());
    }
    const path_run generic = run_path(texts, dessec::dh_path::generic);
    FUZZ_CHECK(generic.taken);
    for (int k = 0; k < 3; ++k)
        FUZZ_CHECK(generic.texts[k] == lowered_as_read(texts[k]));
    const std::string written = written_text(generic.out.data(), full_output, untouched);

    std::string expected;
    if (all_hex_digits(texts[0]) && all_hex_digits(texts[1]) && all_hex_digits(texts[2]) &&
        reference_power(texts[0], texts[1], texts[2], dessec::dh_width, expected))
        FUZZ_CHECK(written == expected);

    for (const auto path : {dessec::dh_path::fast, dessec::dh_path::fixed_base}) {
        const path_run other = run_path(texts, path);
        if (!other.taken)
            continue;
        FUZZ_CHECK(other.out == generic.out);
        for (int k = 0; k < 3; ++k)
            FUZZ_CHECK(other.texts[k] == generic.texts[k]);
    }
}

// Texts of digits at most 2 * width + 2 long; the modulus ends in an even digit.
void check_narrow(std::size_t width, FuzzedDataProvider &fdp)
{
    const std::size_t longest = 2 * width + 2;
    std::string texts[3];
    for (auto &text : texts)
        text = as_digits(fdp.ConsumeRandomLengthString(longest));
    std::string &modulus = texts[2];
    if (!modulus.empty())
        modulus.back() = "02468aceACE"[static_cast<unsigned char>(modulus.back()) % 11];

    auto ws = std::make_unique<dessec::dh_workspace>();
    ws->width = static_cast<std::int32_t>(width);
    std::unique_ptr<char[]> copies[3];
    for (int k = 0; k < 3; ++k)
        copies[k] = heap_copy(texts[k], true);
    dessec::big_from_hex(copies[0].get(), ws->base, *ws);
    dessec::big_from_hex(copies[1].get(), ws->exponent, *ws);
    dessec::big_from_hex(copies[2].get(), ws->modulus, *ws);
    dessec::dh_exponentiate_generic(*ws);
    const auto out = heap_copy(std::string(2 * width + 1, untouched), false);
    dessec::big_to_hex(ws->result, out.get(), *ws);

    for (int k = 0; k < 3; ++k)
        FUZZ_CHECK(std::string(copies[k].get(), texts[k].size()) == lowered_as_read(texts[k]));
    const std::string written = written_text(out.get(), 2 * width + 1, untouched);
    std::string expected;
    if (reference_power(texts[0], texts[1], texts[2], width, expected))
        FUZZ_CHECK(written == expected);
}

// 32-bit FNV-1a.
std::uint32_t input_hash(const unsigned char *data, std::size_t size)
{
    std::uint32_t h = 2166136261u;
    for (std::size_t i = 0; i < size; ++i)
        h = (h ^ data[i]) * 16777619u;
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    if (size == 0)
        return 0;
    if (input_hash(data, size) % 32 == 0) {
        check_full_width(std::string(reinterpret_cast<const char *>(data) + 1, size - 1));
        return 0;
    }
    FuzzedDataProvider fdp(data + 1, size - 1);
    check_narrow(1 + data[0] % 8, fdp);
    return 0;
}
