#include "common/scratch.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>

#include <openssl/crypto.h>

namespace dessec {
namespace {

// Allocations still to succeed before the planned failure; -1 when none is planned.
constinit std::atomic<long> allocations_before_failure{-1};

constinit std::atomic<scratch_free_observer> free_observer{nullptr};

bool planned_failure_is_due()
{
    long left = allocations_before_failure.load(std::memory_order_relaxed);
    while (left >= 0) {
        const long next = left == 0 ? -1 : left - 1;
        if (allocations_before_failure.compare_exchange_weak(left, next, std::memory_order_relaxed))
            return left == 0;
    }
    return false;
}

}  // namespace

void *scratch_alloc(std::size_t n)
{
    if (planned_failure_is_due())
        return nullptr;
    // A failed malloc sets errno; the library leaves the caller's as it was.
    const int caller_errno = errno;
    void *p = std::malloc(n == 0 ? 1 : n);
    errno = caller_errno;
    return p;
}

void scratch_free(void *p, std::size_t n)
{
    if (p == nullptr)
        return;
    OPENSSL_cleanse(p, n);
    if (const scratch_free_observer observe = free_observer.load(std::memory_order_relaxed))
        observe(p, n);
    std::free(p);
}

void scratch_fail_after(long n)
{
    allocations_before_failure.store(n < 0 ? -1 : n, std::memory_order_relaxed);
}

void scratch_watch_free(scratch_free_observer observer)
{
    free_observer.store(observer, std::memory_order_relaxed);
}

}  // namespace dessec
