#include <gtest/gtest.h>
TEST(Smoke, Runs) { EXPECT_EQ(2 + 2, 4); }
