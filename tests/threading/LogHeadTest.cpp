#include <gtest/gtest.h>

#include "threading/Log.h"

namespace zv {
namespace {

// The head of every timed line: at least six columns for the milliseconds,
// right-aligned after a space for the sign, never cut.
TEST(ElapsedHead, KeepsItsColumnsAndNeverCutsANumber) {
    EXPECT_EQ(ElapsedHead(0), "(     0)");
    EXPECT_EQ(ElapsedHead(1234), "(  1234)");
    EXPECT_EQ(ElapsedHead(99999), "( 99999)");
    EXPECT_EQ(ElapsedHead(1234567), "( 1234567)");
    EXPECT_EQ(ElapsedHead(-15), "(   -15)");
    // Past 32 bits, as a tick difference never is but a sum of them may be.
    EXPECT_EQ(ElapsedHead(int64_t{1} << 33), "( 8589934592)");
}

}  // namespace
}  // namespace zv
