#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "common/scratch.h"
#include "dessec.h"

namespace {

// Makes allocations until one fails (at most `limit`) and returns how many
// succeeded before it, or -1 when none failed.
long successes_before_failure(int limit)
{
    std::vector<void *> taken;
    long result = -1;
    for (int i = 0; i < limit; ++i) {
        void *p = dessec::scratch_alloc(16);
        if (p == nullptr) {
            result = i;
            break;
        }
        taken.push_back(p);
    }
    for (void *p : taken)
        dessec::scratch_free(p, 16);
    return result;
}

std::atomic<int> blocks_freed{0};
std::atomic<int> blocks_freed_unwiped{0};

void count_freed_block(const void *p, std::size_t n)
{
    const auto *bytes = static_cast<const unsigned char *>(p);
    ++blocks_freed;
    if (std::any_of(bytes, bytes + n, [](unsigned char b) { return b != 0; }))
        ++blocks_freed_unwiped;
}

// Counts the blocks freed while it lives, and those of them not all zero.
struct watched_frees {
    watched_frees()
    {
        blocks_freed = 0;
        blocks_freed_unwiped = 0;
        dessec::scratch_watch_free(count_freed_block);
    }
    ~watched_frees() { dessec::scratch_watch_free(nullptr); }
};

}  // namespace

// The working buffer of xencrypt holds the secret's bytes and dh's workspace
// the exponent: both are all zero by the time they are freed.
TEST(Scratch, BlocksOfSecretsAreZeroWhenFreed)
{
    const watched_frees watch;
    std::string secret = "0f1e2d3c4b5a69788796a5b4c3d2e1f00112233445566778";
    ASSERT_EQ(xencrypt(secret.data(), "s3cret!"), 1);
    ASSERT_EQ(xdecrypt(secret.data(), "s3cret!"), 1);
    std::string base = DESSEC_DH_BASE, modulus = DESSEC_DH_MODULUS;
    char out[64];
    dh(base.data(), secret.data(), modulus.data(), out);
    EXPECT_EQ(blocks_freed, 3);
    EXPECT_EQ(blocks_freed_unwiped, 0);
}

TEST(Scratch, PlannedFailureComesAfterTheGivenCountAndOnlyOnce)
{
    for (long n : {0L, 1L, 3L}) {
        dessec::scratch_fail_after(n);
        EXPECT_EQ(successes_before_failure(8), n);
        EXPECT_EQ(successes_before_failure(8), -1) << "the hook fails one allocation only";
    }
    dessec::scratch_fail_after(2);
    dessec::scratch_fail_after(-5);
    EXPECT_EQ(successes_before_failure(8), -1);
}

TEST(Scratch, EmptyRequestsStillGiveAPointerAndNullFreesNothing)
{
    void *p = dessec::scratch_alloc(0);
    EXPECT_NE(p, nullptr);
    dessec::scratch_free(p, 0);
    dessec::scratch_free(nullptr, 64);
}
