// Texts and values shared by the dh suites: the group's modulus, random
// texts of digits and moduli, and what dh reads from and writes for them.
#pragma once

#include <cctype>
#include <memory>
#include <random>
#include <string>

#include <openssl/bn.h>
#include <openssl/crypto.h>

#include "dessec.h"
#include "test_support.h"

namespace dessec_test {

inline const std::string group_modulus = DESSEC_DH_MODULUS;

using bn_ptr = std::unique_ptr<BIGNUM, decltype(&BN_free)>;
using ctx_ptr = std::unique_ptr<BN_CTX, decltype(&BN_CTX_free)>;

inline bn_ptr new_bn() { return {BN_new(), BN_free}; }

// The value that dh reads from a text of hex digits: that of its last 50.
inline bn_ptr value_of(const std::string &digits)
{
    const std::string last = digits.size() > 50 ? digits.substr(digits.size() - 50) : digits;
    BIGNUM *b = nullptr;
    BN_hex2bn(&b, last.empty() ? "0" : last.c_str());
    return {b, BN_free};
}

// What dh should write for a value: nothing for zero, else whole bytes in upper case.
inline std::string printed(const BIGNUM *b)
{
    if (BN_is_zero(b))
        return "";
    char *text = BN_bn2hex(b);
    std::string out = text;
    OPENSSL_free(text);
    return out;
}

inline std::string lower(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

inline std::string upper(std::string s)
{
    for (auto &c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

inline std::string random_digits(std::mt19937_64 &rng, std::size_t len)
{
    static const char digits[] = "0123456789abcdefABCDEF";
    std::string out(len, '0');
    for (auto &c : out)
        c = digits[rng() % 22];
    return out;
}

// A modulus of exactly `bits` bits, odd or even as `odd` says.
inline bn_ptr random_modulus(std::mt19937_64 &rng, int bits, bool odd)
{
    const bytes raw = random_bytes(rng, 25);
    bn_ptr m(BN_bin2bn(raw.data(), 25, nullptr), BN_free);
    BN_mask_bits(m.get(), bits);
    BN_set_bit(m.get(), bits - 1);
    odd ? BN_set_bit(m.get(), 0) : BN_clear_bit(m.get(), 0);
    return m;
}

// A modulus as a caller might spell it: either case, leading zeros, and at
// times digits before the last 50 that do not count.
inline std::string modulus_text(std::mt19937_64 &rng, const BIGNUM *m)
{
    std::string digits = printed(m);
    digits.insert(0, rng() % (51 - digits.size()), '0');
    if (rng() % 4 == 0)
        digits = random_digits(rng, 1 + rng() % 10) + std::string(50 - digits.size(), '0') + digits;
    for (auto &c : digits)
        c = static_cast<char>(rng() % 2 ? std::tolower(c) : c);
    return digits;
}

}  // namespace dessec_test
