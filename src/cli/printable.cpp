#include "printable.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <iterator>

#include "escaped_code_points.h"

namespace cli {

namespace {

// The length of the UTF-8 sequence that starts text[at], or 0 when the
// bytes there are not valid UTF-8 (overlong forms and surrogates included).
std::size_t utf8_length(std::string_view text, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xbf;  // range of the second byte
    if (lead >= 0xc2 && lead <= 0xdf)
        length = 2;
    else if (lead >= 0xe0 && lead <= 0xef) {
        length = 3;
        low = lead == 0xe0 ? 0xa0 : 0x80;
        high = lead == 0xed ? 0x9f : 0xbf;
    } else if (lead >= 0xf0 && lead <= 0xf4) {
        length = 4;
        low = lead == 0xf0 ? 0x90 : 0x80;
        high = lead == 0xf4 ? 0x8f : 0xbf;
    } else
        return 0;
    if (at + length > text.size() || byte(at + 1) < low || byte(at + 1) > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i) {
        if (byte(at + i) < 0x80 || byte(at + i) > 0xbf)
            return 0;
    }
    return length;
}

// The code point of a valid UTF-8 sequence of `length` bytes at text[at].
char32_t code_point(std::string_view text, std::size_t at, std::size_t length)
{
    static constexpr unsigned char lead_bits[] = {0, 0, 0x1f, 0x0f, 0x07};
    char32_t value = static_cast<unsigned char>(text[at]) & lead_bits[length];
    for (std::size_t i = 1; i < length; ++i)
        value = value << 6 | (static_cast<unsigned char>(text[at + i]) & 0x3fu);
    return value;
}

// Valid characters that act on the terminal or on the order and visibility
// of the text around them, or that a later Unicode may make such.
bool acts_on_display(char32_t c)
{
    const auto *range = std::lower_bound(std::begin(escaped_code_points), std::end(escaped_code_points), c,
                                         [](const code_range &r, char32_t point) { return r.last < point; });
    return range != std::end(escaped_code_points) && range->first <= c;
}

void append_code_point(std::string &out, char32_t c)
{
    char text[12];
    std::snprintf(text, sizeof text, c > 0xffff ? "\\U%08x" : "\\u%04x", static_cast<unsigned>(c));
    out += text;
}

void append_escaped(std::string &out, unsigned char c)
{
    static const char digits[] = "0123456789abcdef";
    switch (c) {
    case '\n': out += "\\n"; return;
    case '\r': out += "\\r"; return;
    case '\t': out += "\\t"; return;
    case '\\': out += "\\\\"; return;
    default:
        out += "\\x";
        out += digits[c >> 4];
        out += digits[c & 15];
    }
}

}  // namespace

std::string printable(std::string_view text)
{
    std::string out;
    for (std::size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80) {
            const std::size_t length = utf8_length(text, i);
            if (length != 0) {
                const char32_t point = code_point(text, i, length);
                if (acts_on_display(point))
                    append_code_point(out, point);
                else
                    out.append(text.substr(i, length));
                i += length;
                continue;
            }
        }
        if (c < 0x20 || c == 0x7f || c == '\\' || c >= 0x80)
            append_escaped(out, c);
        else
            out += static_cast<char>(c);
        ++i;
    }
    return out;
}

void warn(const std::string &text)
{
    std::cerr << "dessec: warning: " << printable(text) << "\n";
}

}  // namespace cli
