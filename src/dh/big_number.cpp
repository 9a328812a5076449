// Fixed-width unsigned numbers built from byte-wise addition, comparison and
// one-bit shifts. The arithmetic never branches on or indexes by a number's
// value: a conditional addition or subtraction multiplies its source by a 0
// or 1 mask. A number is bytes, most significant first (dh.h), and is only
// ever read byte by byte, so the host's byte order plays no part.
#include "dh/dh.h"

#include <cstring>

#include <openssl/crypto.h>

namespace dessec {
namespace {

// 1 when number >= modulus, else 0: whether number - modulus, taken over all
// bytes, ends without a borrow. That is what a scan from the top byte to the
// first differing one decides, without stopping early.
std::int32_t big_at_least_modulus(const unsigned char *number, dh_workspace &ws)
{
    ws.carry = 0;
    for (ws.position = ws.width - 1; ws.position >= 0; --ws.position)
        ws.carry = (number[ws.position] - ws.modulus[ws.position] + ws.carry) >> 8;
    return ws.carry + 1;
}

}  // namespace

void big_add_multiple(unsigned char *destination, const unsigned char *source, std::int32_t multiplier,
                      dh_workspace &ws)
{
    ws.carry = 0;
    for (ws.position = ws.width - 1; ws.position >= 0; --ws.position) {
        const std::int32_t t = destination[ws.position] + multiplier * source[ws.position] + ws.carry;
        destination[ws.position] = static_cast<unsigned char>(t);
        ws.carry = t >> 8;  // arithmetic: a borrow travels on as -1
    }
}

void big_reduce_once(unsigned char *number, dh_workspace &ws)
{
    big_add_multiple(number, ws.modulus, -big_at_least_modulus(number, ws), ws);
}

void big_shift_right(unsigned char *number, dh_workspace &ws)
{
    ws.carry = 0;
    for (ws.position = 0; ws.position < ws.width; ++ws.position) {
        const std::int32_t t = ws.carry | number[ws.position];
        number[ws.position] = static_cast<unsigned char>(t >> 1);
        ws.carry = (t & 1) << 8;
    }
}

// Shift-and-add over all 8 * width bits of the multiplier, lowest first,
// reducing after every addition and every doubling. A step whose multiplier
// bit is clear adds zero and subtracts nothing, so the accumulator takes the
// same values as when such steps are skipped.
void big_mul_mod(unsigned char *accumulator, const unsigned char *factor, dh_workspace &ws)
{
    unsigned char multiplier[dh_slot_size];
    unsigned char multiplicand[dh_slot_size];
    const auto width = static_cast<std::size_t>(ws.width);
    std::memcpy(multiplier, accumulator, width);
    std::memcpy(multiplicand, factor, width);
    std::memset(accumulator, 0, width);
    for (ws.counter = 8 * ws.width - 1; ws.counter >= 0; --ws.counter) {
        const std::int32_t bit = multiplier[width - 1] & 1;
        big_add_multiple(accumulator, multiplicand, bit, ws);
        big_add_multiple(accumulator, ws.modulus, -(bit & big_at_least_modulus(accumulator, ws)), ws);
        big_shift_right(multiplier, ws);
        big_add_multiple(multiplicand, multiplicand, 1, ws);
        big_reduce_once(multiplicand, ws);
    }
    OPENSSL_cleanse(multiplier, width);
    OPENSSL_cleanse(multiplicand, width);
}

namespace {

// v of a character already lower-cased: c - 0x30, less 0x27 above 0x60, to
// 8 bits. A letter and a number digit take the same steps: no branch tells
// them apart.
unsigned char digit_value(char text_char)
{
    const auto c = static_cast<unsigned char>(text_char);
    const unsigned letter = dh_opaque_mask(0u - ((0x60u - c) >> 31));
    return static_cast<unsigned char>(c - 0x30u - (letter & 0x27u));
}

}  // namespace

// Each character shifts the value up four bits, dropping what passes the top,
// and ORs in v = c - 0x30 (less 0x27 above 0x60) of c = the character with
// bit 0x20 set: the digit for "0"-"9", "a"-"f" and "A"-"F", and stray bits
// for anything else. A NUL or a byte of 0x80 or more ends the text. So the
// value is the OR of every character's v moved up four bits for each
// character after it, and only the last 2 * width characters reach the
// width: the text is lower-cased in one pass, then those characters are
// placed from the end, two to a byte, the earlier one's top nibble passing
// to the byte above. A character is written back only when bit 0x20 was
// clear, so lower-case text is only read.
std::size_t big_from_hex(char *text, unsigned char *destination, dh_workspace &ws)
{
    const auto width = static_cast<std::size_t>(ws.width);
    std::memset(destination, 0, width);
    // A text may be longer than any int: lengths and positions are std::size_t.
    std::size_t length = 0;
    for (; static_cast<signed char>(text[length]) > 0; ++length) {
        const auto c = static_cast<char>(text[length] | 0x20);
        if (c != text[length])
            text[length] = c;
    }
    std::size_t next = length, byte = width;
    unsigned spill = 0;  // the top nibble of the earlier character of the byte below
    while (byte > 0 && next > 0) {
        unsigned value = spill | digit_value(text[--next]);
        spill = 0;
        if (next > 0) {
            const unsigned high = digit_value(text[--next]);
            value |= high << 4;
            spill = high >> 4;
        }
        destination[--byte] = static_cast<unsigned char>(value);
    }
    if (byte > 0)
        destination[byte - 1] = static_cast<unsigned char>(spill);
    return length;
}

// Only whole leading zero bytes are skipped, so the text always has an even
// number of digits ("01" for 1).
void big_to_hex(const unsigned char *number, char *out, dh_workspace &ws)
{
    for (ws.index = 0; ws.index < ws.width && number[ws.index] == 0; ++ws.index) {
    }
    if (ws.index == ws.width)
        return;
    for (; ws.index < ws.width; ++ws.index) {
        *out++ = dh_digit(number[ws.index] >> 4, 'A');
        *out++ = dh_digit(number[ws.index] & 15u, 'A');
    }
    *out = '\0';
}

}  // namespace dessec
