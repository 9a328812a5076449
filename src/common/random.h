// The library's one source of random bytes: libcrypto's generator, and the
// operating system's when libcrypto's fails, so that a broken libcrypto
// configuration costs no randomness and a failure is never silent.
#pragma once

#include <cstddef>

namespace dessec {

// Fills n bytes at out and returns true; false, with out wiped, only when
// both generators fail. The caller's errno is kept either way.
bool random_bytes(unsigned char *out, std::size_t n);

// The operating system's generator alone (random_linux.cpp,
// random_windows.cpp): true when it filled all n bytes.
bool system_random_bytes(unsigned char *out, std::size_t n);

}  // namespace dessec
