// Shared pieces of the dh targets: texts as dh reads and rewrites them, and
// the modular power by OpenSSL's BN for texts of digits.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include <openssl/bn.h>

#include "fuzz_support.h"

namespace dessec_fuzz {

using bn_ptr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;

inline bool all_hex_digits(const std::string &text)
{
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

inline std::string as_digits(const std::string &bytes)
{
    std::string text = bytes;
    for (auto &c : text)
        c = "0123456789abcdefABCDEF"[static_cast<unsigned char>(c) % 22];
    return text;
}

// Characters up to a NUL or a byte of 0x80 or more get bit 0x20.
inline std::string lowered_as_read(std::string text)
{
    for (auto &c : text) {
        if (static_cast<signed char>(c) <= 0)
            break;
        c = static_cast<char>(c | 0x20);
    }
    return text;
}

// The value of the last 2 * width digits: the earlier ones pass the top.
inline bn_ptr value_of(const std::string &digits, std::size_t width)
{
    const std::size_t counted = 2 * width;
    const std::string last = digits.substr(digits.size() > counted ? digits.size() - counted : 0);
    BIGNUM *value = nullptr;
    BN_hex2bn(&value, last.empty() ? "0" : last.c_str());
    return {value, BN_free};
}

// What the power of texts of digits at `width` bytes prints: upper-case
// digits from the first non-zero byte, or "" (nothing written) for zero. No
// answer for a modulus outside 2 to 2^(8 * width - 1) - 1, where the result
// is not the modular power.
inline bool reference_power(const std::string &base, const std::string &exponent, const std::string &modulus,
                            std::size_t width, std::string &expected)
{
    const bn_ptr m = value_of(modulus, width);
    if (BN_num_bits(m.get()) < 2 || BN_num_bits(m.get()) > static_cast<int>(8 * width - 1))
        return false;
    const bn_ptr b = value_of(base, width), e = value_of(exponent, width);
    bn_ptr r(BN_new(), BN_free);
    BN_CTX *ctx = BN_CTX_new();
    FUZZ_CHECK(BN_mod_exp(r.get(), b.get(), e.get(), m.get(), ctx) == 1);
    BN_CTX_free(ctx);
    std::string bytes(static_cast<std::size_t>(BN_num_bytes(r.get())), '\0');
    BN_bn2bin(r.get(), reinterpret_cast<unsigned char *>(bytes.data()));
    expected = hex_text(bytes, "0123456789ABCDEF");
    return true;
}

// The text written into an output block first filled with `untouched`: ""
// when nothing was written. A written text is upper-case digits without a
// leading zero byte, and nothing behind its NUL changes.
inline std::string written_text(const char *out, std::size_t out_size, char untouched)
{
    const std::string block(out, out_size);
    const std::size_t end = block.find('\0');
    if (end == std::string::npos) {
        FUZZ_CHECK(block == std::string(out_size, untouched));
        return "";
    }
    const std::string written = block.substr(0, end);
    FUZZ_CHECK(!written.empty() && written.size() % 2 == 0 && written.compare(0, 2, "00") != 0);
    FUZZ_CHECK(written.find_first_not_of("0123456789ABCDEF") == std::string::npos);
    FUZZ_CHECK(block.substr(end + 1) == std::string(out_size - end - 1, untouched));
    return written;
}

}  // namespace dessec_fuzz
