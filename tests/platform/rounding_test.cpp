#include "platform/rounding.h"

#include <gtest/gtest.h>

TEST(Rounding, TiesGoToTheEvenNeighbour) {
    struct Case {
        long double in;
        int64_t out;
    } cases[] = {{0.5L, 0},       {1.5L, 2},     {2.5L, 2},    {3.5L, 4},         {-0.5L, 0},
                 {-1.5L, -2},     {-2.5L, -2},   {2.4999L, 2}, {2.5001L, 3},      {-2.5001L, -3},
                 {1122.5L, 1122}, {793.7L, 794}, {0.0L, 0},    {1e30L, INT64_MAX}};
    for (const auto& c : cases)
        EXPECT_EQ(RoundTiesEven(c.in), c.out) << double(c.in);
}
