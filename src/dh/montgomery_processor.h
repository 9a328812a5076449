// The processor layer of the three-word Montgomery code. The build compiles
// one file behind it: montgomery_x86_64.cpp on x86-64, whose processors
// select by conditional moves and may have the carry-chain instructions, or
// montgomery_portable.cpp everywhere else.
#pragma once

#include <atomic>
#include <cstdint>

#include "common/built_once.h"

namespace dessec::mont {

using word = std::uint64_t;
template <int N>
struct montgomery;

// entry := table[index] of a table of 16 three-word entries, reading every
// entry whatever the index.
void select_entry_3(word *entry, const word (*table)[3], word index);

// Three-word steps by two carry chains at once: each gives what the
// portable code gives (montgomery_three_words.h, and fill_table and
// raise_by_windows in montgomery.cpp).
struct carry_chain_kernels {
    void (*multiply)(word *out, const word *a, const word *b, const montgomery<3> &ctx);
    void (*square)(word *out, const word *a, const montgomery<3> &ctx);
    void (*fill_table)(word (*table)[3], const montgomery<3> &ctx);
    void (*raise)(word *power, const word (*table)[3], const unsigned char *exponent, int first,
                  const montgomery<3> &ctx);
};

// The kernels where this processor has the instructions they take, else
// null. Asked once, by carry_chains.
const carry_chain_kernels *processor_carry_chains();

// Test hook behind dh_allow_carry_chains.
inline std::atomic<bool> carry_chains_allowed{true};

inline constinit built_once<const carry_chain_kernels *, processor_carry_chains> processor_kernels;

// The kernels to take: the processor's, unless a test disallowed them.
inline const carry_chain_kernels *carry_chains()
{
    const carry_chain_kernels *const available = processor_kernels.get();
    return carry_chains_allowed.load(std::memory_order_relaxed) ? available : nullptr;
}

}  // namespace dessec::mont
