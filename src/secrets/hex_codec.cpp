#include "secrets/secrets.h"

#include <array>
#include <cstddef>

#include "dessec.h"

namespace dessec {
namespace {

constexpr unsigned char not_a_digit = 255;

// Letters go on counting past 'f' up to 35 ('z'); nothing is refused.
constexpr std::array<unsigned char, 256> make_digit_table()
{
    std::array<unsigned char, 256> table{};
    table.fill(not_a_digit);
    for (int i = 0; i < 10; ++i)
        table['0' + i] = static_cast<unsigned char>(i);
    for (int i = 0; i < 26; ++i) {
        table['a' + i] = static_cast<unsigned char>(10 + i);
        table['A' + i] = static_cast<unsigned char>(10 + i);
    }
    return table;
}

constexpr std::array<unsigned char, 256> digit_table = make_digit_table();

constexpr char lower_digits[] = "0123456789abcdef";

}  // namespace

unsigned char hex_digit_value(unsigned char c)
{
    return digit_table[c];
}

// The byte is formed in 8 bits: the high value shifted by 4 loses its top
// bits and the sum wraps, so "zz" gives 0x53 and "??" 0xEF. Positions are
// std::size_t, as 2 * count passes INT_MAX from a count of 2^30.
void hex_to_bytes(int count, const char *text, unsigned char *out)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned high = hex_digit_value(static_cast<unsigned char>(text[2 * i]));
        const unsigned low = hex_digit_value(static_cast<unsigned char>(text[2 * i + 1]));
        out[i] = static_cast<unsigned char>((high << 4) + low);
    }
}

// A count of 0 or below writes the NUL alone.
void bytes_to_hex(int count, const unsigned char *bytes, char *out)
{
    const std::size_t n = count > 0 ? static_cast<std::size_t>(count) : 0;
    for (std::size_t i = 0; i < n; ++i) {
        out[2 * i] = lower_digits[bytes[i] >> 4];
        out[2 * i + 1] = lower_digits[bytes[i] & 0x0f];
    }
    out[2 * n] = '\0';
}

}  // namespace dessec

extern "C" {

DESSEC_API void hex2bin(int len, const char *text, unsigned char *out)
{
    dessec::hex_to_bytes(len, text, out);
}

DESSEC_API void bin2hex(int len, const unsigned char *bytes, char *out)
{
    dessec::bytes_to_hex(len, bytes, out);
}

}  // extern "C"
