// The fixed group as the exponentiation steps take it: words read from the
// texts of the public header when the library compiles, so that the texts
// are the one source of both forms.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "dessec.h"
#include "dh/dh.h"

namespace dessec {

using dh_group_words = std::array<std::uint64_t, 4>;

constexpr bool dh_is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

constexpr std::uint64_t dh_hex_digit_value(char c)
{
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// The value of a text of at most 64 hexadecimal digits, least significant
// word first.
constexpr dh_group_words dh_words_of(std::string_view text)
{
    dh_group_words words{};
    for (const char c : text) {
        for (std::size_t i = words.size() - 1; i > 0; --i)
            words[i] = words[i] << 4 | words[i - 1] >> 60;
        words[0] = words[0] << 4 | dh_hex_digit_value(c);
    }
    return words;
}

constexpr bool dh_is_group_text(std::string_view text)
{
    bool digits = !text.empty() && text.size() <= 64;
    for (const char c : text)
        digits = digits && dh_is_hex_digit(c);
    return digits;
}

static_assert(dh_is_group_text(DESSEC_DH_MODULUS) && dh_is_group_text(DESSEC_DH_BASE));

inline constexpr dh_group_words dh_group_modulus = dh_words_of(DESSEC_DH_MODULUS);
inline constexpr dh_group_words dh_group_base = dh_words_of(DESSEC_DH_BASE);

// The steps are built for this group: its modulus odd and of 192 bits, the
// digits of a key text, which the fast step takes in three words; its base
// 3, of the fixed-base step's table.
static_assert(sizeof DESSEC_DH_MODULUS == dh_key_text_size && dh_group_modulus[2] >> 60 != 0 &&
              dh_group_modulus[3] == 0 && dh_group_modulus[0] % 2 == 1);
static_assert(dh_group_base == dh_group_words{3, 0, 0, 0});

}  // namespace dessec
