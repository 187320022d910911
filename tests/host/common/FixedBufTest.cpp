#include "common/FixedBuf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

struct CopyCase {
    const char* src;
    std::size_t cap;
    const char* expected;
    bool fits;
};

class CopyBounded : public ::testing::TestWithParam<CopyCase> {};

TEST_P(CopyBounded, NeverWritesPastTheBufferAndSaysWhetherItFitted)
{
    const CopyCase& c = GetParam();
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(copyBounded(buf, c.cap, c.src), c.fits);
    EXPECT_STREQ(buf, c.expected);
    for (std::size_t i = c.cap; i < sizeof buf; ++i)
        EXPECT_EQ(buf[i], 'Z') << "byte " << i << " written";
}

INSTANTIATE_TEST_SUITE_P(Table, CopyBounded,
                         ::testing::Values(CopyCase{"abc", 4, "abc", true}, CopyCase{"abcd", 4, "abc", false},
                                           CopyCase{"", 1, "", true}, CopyCase{"x", 1, "", false},
                                           CopyCase{nullptr, 4, "", true}));

TEST(FormatBounded, ReportsACutText)
{
    char buf[9];
    EXPECT_TRUE(formatBounded(buf, sizeof buf, "%s/%d", "ab", 12345));
    EXPECT_STREQ(buf, "ab/12345");
    EXPECT_FALSE(formatBounded(buf, sizeof buf, "%s/%d", "abc", 12345));
    EXPECT_STREQ(buf, "abc/1234");
}

TEST(CopyBoundedW, CutsAtCapacity)
{
    char16_t buf[4] = {1, 1, 1, 1};
    EXPECT_FALSE(copyBoundedW(buf, 4, u"abcdef"));
    EXPECT_EQ(std::u16string(buf), u"abc");
    EXPECT_TRUE(copyBoundedW(buf, 4, u"ab"));
    EXPECT_EQ(std::u16string(buf), u"ab");
}

} // namespace
