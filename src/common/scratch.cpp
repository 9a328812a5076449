#include "common/scratch.h"

#include <atomic>
#include <cstdlib>

#include <openssl/crypto.h>

namespace dessec {
namespace {

// Successful allocations left before the one that fails; negative when off.
constinit std::atomic<long> allocations_before_failure{-1};

bool this_allocation_fails()
{
    long left = allocations_before_failure.load(std::memory_order_relaxed);
    while (left >= 0) {
        if (allocations_before_failure.compare_exchange_weak(left, left - 1, std::memory_order_relaxed))
            return left == 0;
    }
    return false;
}

}  // namespace

void *scratch_alloc(std::size_t n)
{
    if (this_allocation_fails())
        return nullptr;
    return std::malloc(n);
}

void scratch_free(void *p, std::size_t n)
{
    if (p == nullptr)
        return;
    OPENSSL_cleanse(p, n);
    std::free(p);
}

void scratch_fail_after(long n)
{
    allocations_before_failure.store(n < 0 ? -1 : n, std::memory_order_relaxed);
}

}  // namespace dessec
