#include "update/PatchPin.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PatchPin, KeyOfEachFolder)
{
    char key[kPinKeySize];
    pinKeyName(kPinFolderMax, key, sizeof key);
    EXPECT_STREQ(key, "SHA256Max");
    pinKeyName(0, key, sizeof key);
    EXPECT_STREQ(key, "SHA2560");
    pinKeyName(12, key, sizeof key);
    EXPECT_STREQ(key, "SHA25612");
}

TEST(PatchPin, FolderOfEachDownload)
{
    EXPECT_EQ(pinFolderFor(3, false), 3);
    EXPECT_EQ(pinFolderFor(0, false), 0);
    EXPECT_EQ(pinFolderFor(3, true), kPinFolderMax) << "the fallback fetches the max folder";
    EXPECT_EQ(pinFolderFor(-1, false), kPinFolderMax) << "the generic build";
}

TEST(PatchPin, VerdictOfEachPinValue)
{
    // SHA-256 of "abc".
    const char* abc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
    unsigned char digest[kSha256Size];
    ASSERT_TRUE(sha256FromHex(abc, digest));
    struct Case {
        const char* pin;
        bool hashed;
        int verdict;
    };
    const Case cases[] = {
        {"", true, kPinNone},
        {nullptr, true, kPinNone},
        {"", false, kPinNone},
        {abc, true, kPinMatch},
        {"BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", true, kPinMatch},
        {"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ae", true, kPinMismatch},
        {abc, false, kPinMismatch},
        {"ba7816bf", true, kPinMismatch},
        {"not a digest", true, kPinMismatch},
    };
    for (const Case& c : cases)
        EXPECT_EQ(judgePin(c.pin, c.hashed ? digest : nullptr), c.verdict) << (c.pin ? c.pin : "(null)");
}

} // namespace
