// Heap scratch of the library: every working buffer is taken and released
// here, so that it is wiped before release and a test can make a chosen
// allocation fail.
#pragma once

#include <cstddef>

namespace dessec {

// n bytes from malloc, or nullptr on failure. A request of 0 bytes still
// returns a distinct pointer, so nullptr always means failure.
void *scratch_alloc(std::size_t n);

// Wipes the n bytes at p and frees them; a null p does nothing.
void scratch_free(void *p, std::size_t n);

// Test hook: n < 0 disables it (the default); otherwise the allocation after
// n more successful ones fails, once, and the hook disables itself.
void scratch_fail_after(long n);

// Test hook: a non-null observer sees every block that scratch_free releases,
// after its wipe and before free; nullptr (the default) turns it off.
using scratch_free_observer = void (*)(const void *p, std::size_t n);
void scratch_watch_free(scratch_free_observer observer);

}  // namespace dessec
