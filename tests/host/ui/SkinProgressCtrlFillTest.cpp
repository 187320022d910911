#include "ui/SkinProgressCtrlFill.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

struct FillCase {
    int pos, lower, upper, extent, expected;
};

TEST(ProgressFill, FillExtentAcrossTheRange)
{
    const FillCase cases[] = {
        {50, 0, 100, 451, 225},              // trunc(225.5)
        {100, 0, 100, 451, 451},             // full
        {0, 0, 100, 451, 0},                 // empty
        {1, 0, 100, 451, 4},                 // trunc(4.51)
        {100, 0, 200, 453, 226},             // trunc(226.5)
        {-5, -10, 10, 100, 25},              // negative bounds
        {101, 0, 100, 451, 451},             // past the upper bound draws as full
        {-1, 0, 100, 451, 0},                // below the lower bound draws as empty
        {INT_MAX, INT_MIN, INT_MAX, 10, 10}, // no overflow in the differences
        {0, INT_MIN, INT_MAX, 1000, 500},
        {50, 0, 100, 0, 0}, // no client area
    };
    for (const FillCase& c : cases)
        EXPECT_EQ(progressFillExtent(c.extent, progressFraction(c.pos, c.lower, c.upper)), c.expected)
            << c.pos << " in " << c.lower << ".." << c.upper << " over " << c.extent;
}

TEST(ProgressFill, EmptyOrInvertedRangeDrawsNothingAndNeverDivides)
{
    EXPECT_FALSE(progressRangeDrawable(5, 5));
    EXPECT_FALSE(progressRangeDrawable(10, 0));
    EXPECT_TRUE(progressRangeDrawable(0, 1));
    EXPECT_EQ(progressFraction(5, 5, 5), 0.0);
    EXPECT_EQ(progressFraction(7, 10, 0), 0.0);
}

TEST(ProgressFill, FractionIsClampedForDrawing)
{
    EXPECT_DOUBLE_EQ(progressFraction(25, 0, 100), 0.25);
    EXPECT_DOUBLE_EQ(progressFraction(300, 0, 100), 1.0);
    EXPECT_DOUBLE_EQ(progressFraction(-300, 0, 100), 0.0);
}

} // namespace
