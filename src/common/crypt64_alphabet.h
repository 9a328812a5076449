// The 64 characters of the crypt hash texts, kept once for the library and
// the tool: a character's position is its 6-bit value.
#pragma once

namespace dessec {

inline constexpr char crypt64_alphabet[] = "./0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

}  // namespace dessec
