// Scratch memory of the library: taken from the heap for one call and wiped
// before it goes back, since it may have held keys or secret digits.
#pragma once

#include <cstddef>

namespace dessec {

// n bytes from malloc, or nullptr when none are to be had.
void *scratch_alloc(std::size_t n);

// Wipes the n bytes at p and frees them; a null p does nothing.
void scratch_free(void *p, std::size_t n);

// Test hook: with n >= 0 the allocation that follows n more successful ones
// fails (once); a negative n turns the hook off.
void scratch_fail_after(long n);

}  // namespace dessec
