// The system crypt library as a black-box reference, and random texts to feed it.
#pragma once

#include <crypt.h>

#include <memory>
#include <random>
#include <string>

#include "passwd/passwd.h"

namespace dessec_test {

// The system's hash text, or "" where it refuses the setting.
inline std::string system_crypt(const std::string &passwd, const std::string &setting)
{
    thread_local auto data = std::make_unique<crypt_data>();
    const char *out = crypt_r(passwd.c_str(), setting.c_str(), data.get());
    return out == nullptr || out[0] == '*' ? std::string() : std::string(out);
}

// len characters with codes lo to hi.
inline std::string random_text(std::mt19937_64 &rng, std::size_t len, int lo = 1, int hi = 127)
{
    std::string s(len, '\0');
    for (auto &c : s)
        c = static_cast<char>(lo + static_cast<int>(rng() % (hi - lo + 1)));
    return s;
}

inline std::string random_crypt64(std::mt19937_64 &rng, std::size_t len)
{
    std::string s(len, '\0');
    for (auto &c : s)
        c = dessec::crypt64_alphabet[rng() % 64];
    return s;
}

}  // namespace dessec_test
