// dh: agreement with BN_mod_exp on texts of hexadecimal digits in either
// case and of any length (the last 50 digits count) under a modulus of value
// 2 to 2^199 - 1; output within 51 bytes for any texts and within 49 under
// the group's modulus, nothing at all for a zero result; and every character
// up to the one that ends a text lower-cased in place, the rest untouched.
#include <memory>
#include <string>

#include <openssl/bn.h>

#include "dessec.h"
#include "dh/dh.h"
#include "fuzz_support.h"

using namespace dessec_fuzz;

namespace {

constexpr std::size_t counted_digits = 50;
constexpr std::size_t any_output = 51;
constexpr std::size_t group_output = 49;
constexpr char untouched = 'x';

using bn_ptr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

bool all_hex_digits(const std::string &text)
{
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

std::string as_digits(const std::string &bytes)
{
    std::string text = bytes;
    for (auto &c : text)
        c = "0123456789abcdefABCDEF"[static_cast<unsigned char>(c) % 22];
    return text;
}

// Characters up to a NUL or a byte of 0x80 or more get bit 0x20.
std::string lowered_as_read(std::string text)
{
    for (auto &c : text) {
        if (static_cast<signed char>(c) <= 0)
            break;
        c = static_cast<char>(c | 0x20);
    }
    return text;
}

bn_ptr value_of(const std::string &digits)
{
    const std::string last = digits.substr(digits.size() > counted_digits ? digits.size() - counted_digits : 0);
    BIGNUM *value = nullptr;
    BN_hex2bn(&value, last.empty() ? "0" : last.c_str());
    return {value, BN_free};
}

// What dh must write for texts of digits, or "" (nothing written) for a zero
// power; no answer when the modulus is outside 2 to 2^199 - 1.
bool reference_power(const std::string &base, const std::string &exponent, const std::string &modulus,
                     std::string &expected)
{
    const bn_ptr m = value_of(modulus);
    if (BN_num_bits(m.get()) < 2 || BN_num_bits(m.get()) > 199)
        return false;
    const bn_ptr b = value_of(base), e = value_of(exponent);
    bn_ptr r(BN_new(), BN_free);
    BN_CTX *ctx = BN_CTX_new();
    FUZZ_CHECK(BN_mod_exp(r.get(), b.get(), e.get(), m.get(), ctx) == 1);
    BN_CTX_free(ctx);
    std::string bytes(static_cast<std::size_t>(BN_num_bytes(r.get())), '\0');
    BN_bn2bin(r.get(), reinterpret_cast<unsigned char *>(bytes.data()));
    expected = hex_text(bytes, "0123456789ABCDEF");
    return true;
}

// Runs dh on exact heap copies with an output block of out_size bytes and
// checks what it does to the texts and the output.
void check_dh(const std::string &base, const std::string &exponent, const std::string &modulus, std::size_t out_size)
{
    const auto b = heap_copy(base, true), e = heap_copy(exponent, true), m = heap_copy(modulus, true);
    const auto out = heap_copy(std::string(out_size, untouched), false);
    dh(b.get(), e.get(), m.get(), out.get());
    FUZZ_CHECK(std::string(b.get(), base.size()) == lowered_as_read(base));
    FUZZ_CHECK(std::string(e.get(), exponent.size()) == lowered_as_read(exponent));
    FUZZ_CHECK(std::string(m.get(), modulus.size()) == lowered_as_read(modulus));

    const std::string block(out.get(), out_size);
    const std::size_t end = block.find('\0');
    std::string written;
    if (end == std::string::npos) {
        FUZZ_CHECK(block == std::string(out_size, untouched));
    } else {
        written = block.substr(0, end);
        FUZZ_CHECK(!written.empty() && written.size() % 2 == 0 && written.compare(0, 2, "00") != 0);
        FUZZ_CHECK(written.find_first_not_of("0123456789ABCDEF") == std::string::npos);
        FUZZ_CHECK(block.substr(end + 1) == std::string(out_size - end - 1, untouched));
    }

    std::string expected;
    if (all_hex_digits(base) && all_hex_digits(exponent) && all_hex_digits(modulus) &&
        reference_power(base, exponent, modulus, expected))
        FUZZ_CHECK(written == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const auto shape = fdp.ConsumeIntegralInRange<int>(0, 3);
    std::string base = c_text(fdp.ConsumeRandomLengthString(80));
    std::string exponent = c_text(fdp.ConsumeRandomLengthString(80));
    std::string modulus = c_text(fdp.ConsumeRemainingBytesAsString());
    if (shape % 2 == 1) {  // texts of digits, which BN_mod_exp checks
        base = as_digits(base);
        exponent = as_digits(exponent);
        modulus = as_digits(modulus);
    }
    if (shape >= 2)  // the group's modulus, under which every output fits 49 bytes
        check_dh(base, exponent, dessec::dh_modulus_text, group_output);
    else
        check_dh(base, exponent, modulus, any_output);
    return 0;
}
