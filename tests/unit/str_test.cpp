#include <gtest/gtest.h>

#include "str.h"

TEST(StrGrowth, FreshBufferGetsExactCapacityThenHeadroom) {
    Str s;
    s.Resize(100);
    EXPECT_EQ(s.cap, 100);
    s.Resize(101);
    EXPECT_EQ(s.cap, 123);
}
