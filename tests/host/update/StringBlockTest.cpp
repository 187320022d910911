#include "update/StringBlock.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

using Entries = std::array<std::u16string, kStringsPerBlock>;

// Lays the entries out as the resource compiler does: count, units, no terminator.
std::vector<unsigned char> makeBlock(const Entries& entries)
{
    std::vector<unsigned char> block;
    for (const std::u16string& s : entries) {
        block.push_back(static_cast<unsigned char>(s.size() & 0xFF));
        block.push_back(static_cast<unsigned char>(s.size() >> 8));
        for (char16_t u : s) {
            block.push_back(static_cast<unsigned char>(u & 0xFF));
            block.push_back(static_cast<unsigned char>(u >> 8));
        }
    }
    return block;
}

// The message block: ids 101 to 109 at positions 5 to 13, the rest empty.
Entries messageEntries()
{
    Entries e;
    e[5] = u"&About Veldrun...";
    e[6] = u"PRODUKTFEHLER: x";
    e[7] = u"P";
    e[8] = u"SERVER FEHLER: \u00e4\u00f6\u00fc";
    e[9] = u"\u0420\u0443";
    e[10] = u"\u30ad\u30e3\u30f3\u30bb\u30eb";
    e[11] = u"\U0001D11E"; // a surrogate pair: two units
    e[12] = u"Abbrechen";
    e[13] = u"Ende.";
    return e;
}

constexpr char16_t kFill = 0xAAAA;

struct Buffer {
    std::array<char16_t, 32> units;
    Buffer() { units.fill(kFill); }
    bool untouchedFrom(std::size_t from) const
    {
        for (std::size_t i = from; i < units.size(); ++i)
            if (units[i] != kFill)
                return false;
        return true;
    }
};

TEST(CopyBlockString, CopiesEachStringExactlyWithoutTerminator)
{
    const Entries entries = messageEntries();
    const std::vector<unsigned char> block = makeBlock(entries);
    for (unsigned pos = 0; pos < kStringsPerBlock; ++pos) {
        Buffer buf;
        const std::u16string& want = entries[pos];
        const int found = copyBlockString(block.data(), block.size(), pos, buf.units.data(), buf.units.size());
        EXPECT_EQ(found, want.empty() ? 0 : 1) << "position " << pos;
        EXPECT_EQ(std::u16string(buf.units.data(), want.size()), want) << "position " << pos;
        EXPECT_TRUE(buf.untouchedFrom(want.size())) << "position " << pos << ": written past the string";
    }
}

TEST(CopyBlockString, CountsPositionsThroughEmptyEntries)
{
    Entries e;
    e[0] = u"zero";
    e[3] = u"three";
    e[15] = u"fifteen";
    const std::vector<unsigned char> block = makeBlock(e);
    Buffer buf;
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 1, buf.units.data(), buf.units.size()), 0)
        << "position 1 is empty; the second non-empty entry is at 3";
    EXPECT_TRUE(buf.untouchedFrom(0));
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 3, buf.units.data(), buf.units.size()), 1);
    EXPECT_EQ(std::u16string(buf.units.data(), 5), u"three");
    Buffer last;
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 15, last.units.data(), last.units.size()), 1);
    EXPECT_EQ(std::u16string(last.units.data(), 7), u"fifteen");
    EXPECT_TRUE(last.untouchedFrom(7));
}

TEST(CopyBlockString, RefusesPositionsAndArgumentsOutsideTheBlock)
{
    const std::vector<unsigned char> block = makeBlock(messageEntries());
    Buffer buf;
    for (unsigned pos : {16u, 17u, 0xFFFFFFFFu})
        EXPECT_EQ(copyBlockString(block.data(), block.size(), pos, buf.units.data(), buf.units.size()), 0) << pos;
    EXPECT_EQ(copyBlockString(nullptr, block.size(), 5, buf.units.data(), buf.units.size()), 0);
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 5, nullptr, 260), 0);
    EXPECT_TRUE(buf.untouchedFrom(0));
}

TEST(CopyBlockString, LeavesRoomForTheTerminator)
{
    Entries e;
    e[12] = u"Abbrechen"; // 9 units
    const std::vector<unsigned char> block = makeBlock(e);
    Buffer buf;
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 12, buf.units.data(), 9), 0);
    EXPECT_TRUE(buf.untouchedFrom(0));
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 12, buf.units.data(), 10), 1);
    EXPECT_TRUE(buf.untouchedFrom(9));
}

// Every cut of a block, down to nothing, sits in a buffer of exactly its own
// size, so the sanitizer build catches any read past the end.
TEST(CopyBlockString, NeverReadsPastATruncatedBlock)
{
    const Entries entries = messageEntries();
    const std::vector<unsigned char> whole = makeBlock(entries);
    // Offset just past each entry: a position is found only when the cut keeps it whole.
    std::array<std::size_t, kStringsPerBlock> end{};
    std::size_t offset = 0;
    for (unsigned pos = 0; pos < kStringsPerBlock; ++pos) {
        offset += 2 + 2 * entries[pos].size();
        end[pos] = offset;
    }
    for (std::size_t len = 0; len <= whole.size(); ++len) {
        const std::vector<unsigned char> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(len));
        for (unsigned pos = 0; pos < kStringsPerBlock; ++pos) {
            Buffer buf;
            const int want = !entries[pos].empty() && len >= end[pos] ? 1 : 0;
            EXPECT_EQ(copyBlockString(cut.data(), cut.size(), pos, buf.units.data(), buf.units.size()), want)
                << "length " << len << ", position " << pos;
            if (!want) {
                EXPECT_TRUE(buf.untouchedFrom(0)) << "length " << len << ", position " << pos;
            }
        }
    }
}

TEST(CopyBlockString, RefusesACountLargerThanTheBlock)
{
    std::vector<unsigned char> block = makeBlock(messageEntries());
    // Entry 5's count claims 0xFFFF units; the walk must stop, not run off.
    const std::size_t entry5 = 2 * 5;
    block[entry5] = 0xFF;
    block[entry5 + 1] = 0xFF;
    Buffer buf;
    for (unsigned pos = 5; pos < kStringsPerBlock; ++pos)
        EXPECT_EQ(copyBlockString(block.data(), block.size(), pos, buf.units.data(), buf.units.size()), 0) << pos;
    EXPECT_TRUE(buf.untouchedFrom(0));
}

TEST(CopyBlockString, IgnoresBytesAfterTheSixteenthEntry)
{
    std::vector<unsigned char> block = makeBlock(messageEntries());
    block.insert(block.end(), {5, 0, 'x', 0, 'y', 0}); // padding that looks like an entry
    Buffer buf;
    EXPECT_EQ(copyBlockString(block.data(), block.size(), 12, buf.units.data(), buf.units.size()), 1);
    EXPECT_EQ(std::u16string(buf.units.data(), 9), u"Abbrechen");
}

struct IdCase {
    unsigned id;
    unsigned block;
    unsigned pos;
};

class StringBlockIds : public ::testing::TestWithParam<IdCase> {};

TEST_P(StringBlockIds, MapsAnIdToItsBlockAndPosition)
{
    const IdCase& c = GetParam();
    EXPECT_EQ(stringBlockNumber(c.id), c.block);
    EXPECT_EQ(stringBlockPosition(c.id), c.pos);
}

INSTANTIATE_TEST_SUITE_P(Table, StringBlockIds,
                         ::testing::Values(IdCase{0, 1, 0}, IdCase{90, 6, 10}, IdCase{95, 6, 15}, IdCase{96, 7, 0},
                                           IdCase{100, 7, 4}, IdCase{101, 7, 5}, IdCase{109, 7, 13}, IdCase{111, 7, 15},
                                           IdCase{112, 8, 0}, IdCase{0xFFFEF, 0xFFFF, 15}, IdCase{0xFFFF0, 0, 0},
                                           IdCase{0x100065, 7, 5}));

} // namespace
