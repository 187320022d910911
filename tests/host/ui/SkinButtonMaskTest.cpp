#include "ui/SkinButtonMask.h"

#include <gtest/gtest.h>

#include <string>

// Found by argument-dependent lookup, so outside the unnamed namespace.
static bool operator==(const MaskRun& a, const MaskRun& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

namespace {

// A mask drawn as text rows: '#' opaque, '.' transparent.
std::vector<MaskRun> runsOf(const std::vector<std::string>& rows)
{
    int width = rows.empty() ? 0 : static_cast<int>(rows[0].size());
    int reads = 0;
    auto runs = collectMaskRuns(width, static_cast<int>(rows.size()), [&](int x, int y) {
        ++reads;
        return rows[static_cast<size_t>(y)][static_cast<size_t>(x)] == '#';
    });
    EXPECT_EQ(reads, width * static_cast<int>(rows.size())) << "one read per pixel";
    return runs;
}

TEST(MaskRuns, EachRowRunBecomesOneRectangle)
{
    std::vector<MaskRun> expected = {{1, 0, 3, 1}, {5, 0, 6, 1}, {0, 1, 6, 2}};
    EXPECT_EQ(runsOf({".##..#", "######"}), expected);
}

TEST(MaskRuns, RunsDoNotContinueIntoTheNextRow)
{
    std::vector<MaskRun> expected = {{2, 0, 4, 1}, {0, 1, 1, 2}};
    EXPECT_EQ(runsOf({"..##", "#..."}), expected);
}

TEST(MaskRuns, RunReachingTheLastColumnEndsAtTheWidth)
{
    std::vector<MaskRun> lastColumnAlone = {{11, 1, 12, 2}};
    EXPECT_EQ(runsOf({"............", "...........#", "............"}), lastColumnAlone);
    std::vector<MaskRun> rightHalf = {{2, 0, 4, 1}, {2, 1, 4, 2}};
    EXPECT_EQ(runsOf({"..##", "..##"}), rightHalf);
}

TEST(MaskRuns, NoOpaquePixelGivesNoRun)
{
    EXPECT_TRUE(runsOf({"....", "...."}).empty());
    EXPECT_TRUE(runsOf({}).empty());
}

TEST(MaskRuns, ManyRunsBeyondTheFirstReserve)
{
    std::string row;
    for (int i = 0; i < 50; ++i)
        row += "#.";
    auto runs = runsOf({row, row});
    ASSERT_EQ(runs.size(), 100u);
    EXPECT_EQ(runs[99].left, 98);
    EXPECT_EQ(runs[99].top, 1);
}

} // namespace
