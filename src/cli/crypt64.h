// The 64 characters of DES-based password hashes, in the order of their
// 6-bit values: salts and round counts are written in them.
#pragma once

#include <string_view>

namespace cli {

inline constexpr std::string_view crypt64_alphabet =
    "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace cli
