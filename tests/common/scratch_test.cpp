#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "common/scratch.h"

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

}  // namespace

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
