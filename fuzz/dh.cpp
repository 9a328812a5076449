// dh on its fast path: every modulus is odd and from 3 to 2^199 - 1, so that
// the target runs at the speed of the Montgomery step, and under the
// group's modulus also base 3, which takes the fixed-base step (the
// bit-serial step has a target of its own, dh_serial). Checked: agreement with BN_mod_exp on
// texts of hexadecimal digits in either case and of any length (the last 50
// digits count); output within 51 bytes for any texts and within 49 under
// the group's modulus, nothing at all for a zero result; and every character
// up to the one that ends a text lower-cased in place, the rest untouched.
#include <algorithm>
#include <string>

#include "dessec.h"
#include "dh/dh.h"
#include "dh_reference.h"

using namespace dessec_fuzz;

namespace {

constexpr std::size_t width = 25;
constexpr std::size_t any_output = DESSEC_DH_OUT_BUFFER;
constexpr std::size_t group_output = DESSEC_KEY_BUFFER;
constexpr char untouched = 'x';

// The text is cut where dh stops reading it, and its last character becomes
// an odd digit of at least 3, into which every other character ORs only
// higher bits. A text of digits keeps its counted value below 2^199 by a
// digit below 8 at the 50th place from the end; any other text is cut to 48
// characters, as a character that is not a digit may set any bit of the
// byte it lands in.
std::string odd_modulus(std::string text, bool digits, unsigned pick)
{
    std::size_t read = 0;
    while (read < text.size() && static_cast<signed char>(text[read]) > 0)
        ++read;
    text.resize(digits ? read : std::min<std::size_t>(read, DESSEC_SECRET_KEY_DIGITS));
    if (digits && text.size() >= 50)
        text[text.size() - 50] = static_cast<char>('0' + static_cast<unsigned char>(text[text.size() - 50]) % 8);
    const char odd = "3579bdfBDF"[pick % 10];
    if (text.empty())
        text = odd;
    else
        text.back() = odd;
    return text;
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
    const std::string written = written_text(out.get(), out_size, untouched);

    std::string expected;
    if (all_hex_digits(base) && all_hex_digits(exponent) && all_hex_digits(modulus) &&
        reference_power(base, exponent, modulus, width, expected))
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
    const bool digits = shape % 2 == 1;
    if (digits) {  // texts of digits, which BN_mod_exp checks
        base = as_digits(base);
        exponent = as_digits(exponent);
        modulus = as_digits(modulus);
    }
    if (shape >= 2) {  // the group's modulus, under which every output fits 49 bytes
        check_dh(base, exponent, DESSEC_DH_MODULUS, group_output);
        check_dh("3", exponent, DESSEC_DH_MODULUS, group_output);  // the fixed-base step
    } else
        check_dh(base, exponent, odd_modulus(modulus, digits, size), any_output);
    return 0;
}
