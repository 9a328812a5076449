// The DES-based hash text that passwd_crypt must give, worked out with the
// system crypt library for any setting. passwd_crypt copies the setting
// characters it reads (2, or 9 after "_"; "." from the setting's NUL on) into
// its text as they stand and counts those outside the alphabet as 0, so its
// hash is the one of the setting in which they are ".".
#pragma once

#include <crypt.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_support.h"
#include "passwd/passwd.h"

namespace dessec_fuzz {

constexpr std::size_t traditional_setting_len = 2;
constexpr std::size_t extended_setting_len = 9;
constexpr std::uint32_t small_count_limit = 4096;

// The system's hash text, or "" where it refuses the setting.
inline std::string system_crypt(const std::string &passwd, const std::string &setting)
{
    static crypt_data data;
    const char *out = crypt_r(passwd.c_str(), setting.c_str(), &data);
    return out == nullptr || out[0] == '*' ? std::string() : std::string(out);
}

inline bool in_alphabet(char c)
{
    return c != '\0' && std::strchr(dessec::crypt64_alphabet, c) != nullptr;
}

inline std::uint32_t crypt64_digit(char c)
{
    return in_alphabet(c) ? static_cast<std::uint32_t>(std::strchr(dessec::crypt64_alphabet, c) - dessec::crypt64_alphabet) : 0;
}

inline bool is_extended(const std::string &setting)
{
    return !setting.empty() && setting[0] == '_';
}

// Setting characters 0 to n - 1 as passwd_crypt reads them.
inline std::string setting_chars(const std::string &setting, std::size_t n)
{
    std::string chars = c_text(setting).substr(0, n);
    chars.resize(n, '.');
    return chars;
}

// Count of an extended setting: characters 1 to 4, the first least significant.
inline std::uint32_t extended_count(const std::string &setting)
{
    const std::string chars = setting_chars(setting, 5);
    std::uint32_t count = 0;
    for (int i = 4; i >= 1; --i)
        count = count * 64 + crypt64_digit(chars[static_cast<std::size_t>(i)]);
    return count;
}

// Characters 3 and 4 of an extended setting made "." where they carry a
// count of 4096 or more, so that every hash stays quick.
inline std::string with_small_count(std::string setting)
{
    if (is_extended(setting) && extended_count(setting) >= small_count_limit) {
        const std::size_t len = c_text(setting).size();
        for (std::size_t i : {3, 4})
            if (i < len)
                setting[i] = '.';
    }
    return setting;
}

// The text passwd_crypt must give; "" for an extended count of 0, where the
// system library hashes otherwise.
inline std::string reference_des_crypt(const std::string &passwd, const std::string &setting)
{
    const bool extended = is_extended(setting);
    const std::string chars = setting_chars(setting, extended ? extended_setting_len : traditional_setting_len);
    std::string normal = chars;
    for (std::size_t i = extended ? 1 : 0; i < normal.size(); ++i)
        if (!in_alphabet(normal[i]))
            normal[i] = '.';
    if (extended && extended_count(normal) == 0)
        return "";
    const std::string text = system_crypt(c_text(passwd), normal);
    FUZZ_CHECK(text.size() == chars.size() + 11);
    return chars + text.substr(chars.size());
}

}  // namespace dessec_fuzz
