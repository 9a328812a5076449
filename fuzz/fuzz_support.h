// Shared pieces of the fuzz targets: the report of a broken property, exact
// heap copies (so that AddressSanitizer sees any access past what a call may
// touch), and second computations written apart from the library: the digit
// table, hex printing, the password key and DES over OpenSSL's block call.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <fuzzer/FuzzedDataProvider.h>
#include <openssl/des.h>

// A property that does not hold ends the run like a crash, so that the
// fuzzer keeps the input as an artifact.
#define FUZZ_CHECK(cond) ((cond) ? (void)0 : dessec_fuzz::property_failed(__FILE__, __LINE__, #cond))

namespace dessec_fuzz {

[[noreturn]] inline void property_failed(const char *file, int line, const char *what)
{
    std::fprintf(stderr, "%s:%d: property violated: %s\n", file, line, what);
    std::abort();
}

// A heap block holding exactly the bytes of s, plus a NUL when asked; never
// null, even when empty.
inline std::unique_ptr<char[]> heap_copy(const std::string &s, bool with_nul)
{
    auto block = std::make_unique<char[]>(s.size() + (with_nul ? 1 : 0));
    std::memcpy(block.get(), s.data(), s.size());
    if (with_nul)
        block[s.size()] = '\0';
    return block;
}

// The text up to its first NUL, as a C caller would pass it.
inline std::string c_text(const std::string &s)
{
    return s.substr(0, s.find('\0'));
}

// Digit value as hex2bin reads it: letters count on to 35, every other byte is 255.
inline unsigned digit_value(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 10u;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 10u;
    return 255;
}

// The count bytes that 2 * count characters of text stand for, each formed in 8 bits.
inline std::string hex_bytes(const char *text, std::size_t count)
{
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned byte = digit_value(static_cast<unsigned char>(text[2 * i])) * 16 +
                              digit_value(static_cast<unsigned char>(text[2 * i + 1]));
        out[i] = static_cast<char>(byte & 0xff);
    }
    return out;
}

inline std::string hex_text(const std::string &bytes, const char *digits = "0123456789abcdef")
{
    std::string out;
    for (unsigned char b : bytes) {
        out += digits[b >> 4];
        out += digits[b & 15];
    }
    return out;
}

// Key byte i: bits 0-5 of password character i moved up one place, for the
// first 8 characters, then odd parity.
inline void password_key(const std::string &passwd, DES_cblock &key)
{
    std::memset(key, 0, sizeof key);
    for (std::size_t i = 0; i < 8 && i < passwd.size() && passwd[i] != '\0'; ++i)
        key[i] = static_cast<unsigned char>((static_cast<unsigned char>(passwd[i]) << 1) & 0x7e);
    DES_set_odd_parity(&key);
}

// ECB, or CBC from iv with the vector left as the last ciphertext block,
// chained here around OpenSSL's single-block DES.
inline std::string reference_des(const DES_cblock &key, std::string data, bool decrypt, DES_cblock *iv)
{
    DES_cblock key_copy;
    std::memcpy(key_copy, key, sizeof key_copy);
    DES_key_schedule schedule;
    DES_set_key_unchecked(&key_copy, &schedule);
    for (std::size_t at = 0; at + 8 <= data.size(); at += 8) {
        DES_cblock block, cipher;
        std::memcpy(block, &data[at], 8);
        if (decrypt) {
            std::memcpy(cipher, block, 8);
            DES_ecb_encrypt(&block, &block, &schedule, DES_DECRYPT);
            for (int i = 0; iv != nullptr && i < 8; ++i)
                block[i] ^= (*iv)[i];
        } else {
            for (int i = 0; iv != nullptr && i < 8; ++i)
                block[i] ^= (*iv)[i];
            DES_ecb_encrypt(&block, &block, &schedule, DES_ENCRYPT);
            std::memcpy(cipher, block, 8);
        }
        std::memcpy(&data[at], block, 8);
        if (iv != nullptr)
            std::memcpy(*iv, cipher, 8);
    }
    return data;
}

}  // namespace dessec_fuzz
