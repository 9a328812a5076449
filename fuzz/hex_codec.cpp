// hex2bin and bin2hex: the digit-table rules for any bytes, the round trip
// of digit texts in either case, and writes kept within count bytes and
// 2 * count + 1 characters.
#include <cctype>
#include <climits>
#include <string>

#include "dessec.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

// hex2bin reads no terminator: the text block holds just its 2 * count characters.
std::string to_bytes(const std::string &text)
{
    const int count = static_cast<int>(text.size() / 2);
    const auto in = heap_copy(text.substr(0, 2 * static_cast<std::size_t>(count)), false);
    const auto out = heap_copy(std::string(static_cast<std::size_t>(count), '\0'), false);
    hex2bin(count, in.get(), reinterpret_cast<unsigned char *>(out.get()));
    return std::string(out.get(), static_cast<std::size_t>(count));
}

std::string to_text(const std::string &bytes)
{
    const int count = static_cast<int>(bytes.size());
    const auto in = heap_copy(bytes, false);
    const auto out = heap_copy(std::string(2 * bytes.size() + 1, 'x'), false);
    bin2hex(count, reinterpret_cast<const unsigned char *>(in.get()), out.get());
    return std::string(out.get(), 2 * bytes.size() + 1);
}

std::string lower_case(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

void check_counts_of_zero_and_below(int count, const std::string &text)
{
    const auto in = heap_copy(text, true);
    unsigned char byte = 0xA5;
    hex2bin(count, in.get(), &byte);
    FUZZ_CHECK(byte == 0xA5);
    char lone = 'x';
    bin2hex(count, reinterpret_cast<const unsigned char *>(in.get()), &lone);
    FUZZ_CHECK(lone == '\0');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const int non_positive = fdp.ConsumeIntegralInRange<int>(INT_MIN, 0);
    const std::string text = fdp.ConsumeRemainingBytesAsString();

    const std::string bytes = to_bytes(text);
    FUZZ_CHECK(bytes == hex_bytes(text.data(), text.size() / 2));
    FUZZ_CHECK(to_text(bytes) == hex_text(bytes) + '\0');
    FUZZ_CHECK(to_bytes(hex_text(bytes)) == bytes);

    std::string digits = text;
    for (auto &c : digits)
        c = "0123456789abcdefABCDEF"[static_cast<unsigned char>(c) % 22];
    digits.resize(digits.size() / 2 * 2);
    FUZZ_CHECK(to_text(to_bytes(digits)) == lower_case(digits) + '\0');

    check_counts_of_zero_and_below(non_positive, text);
    return 0;
}
