#include "update/PatchPin.h"

#include <gtest/gtest.h>

#include "common/Trace.h"

#include <cstdio>
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

namespace {

void writeFile(const char* path, const char* bytes)
{
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(bytes, f);
    std::fclose(f);
}

bool exists(const char* path)
{
    std::FILE* f = std::fopen(path, "rb");
    if (f)
        std::fclose(f);
    return f != nullptr;
}

// The download of each folder against the file's pins: a match is kept, a
// mismatch removed with its trace line, no pin leaves everything alone.
TEST(CheckDownloadPin, KeepsMatchesRemovesMismatchesIgnoresUnpinned)
{
    writeFile("pin_patch.ini", "[SRInfo]\r\nCount=3\r\n"
                               "SHA2560=ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\r\n"
                               "SHA2561=0000000000000000000000000000000000000000000000000000000000000000\r\n"
                               "SHA256Max=  BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD  \r\n");
    struct Case {
        int folder;
        int verdict;
        const char* trace;
    };
    const Case cases[] = {
        {0, kPinMatch, "[Veldrun] checkDownloadPin => pin SHA2560 matched\n"},
        {kPinFolderMax, kPinMatch, "[Veldrun] checkDownloadPin => pin SHA256Max matched\n"},
        {1, kPinMismatch,
         "[Veldrun] checkDownloadPin => pin SHA2561 did not match: expected "
         "0000000000000000000000000000000000000000000000000000000000000000, got "
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\n"},
        {2, kPinNone, ""},
    };
    for (const Case& c : cases) {
        writeFile("pin_download.exe", "abc");
        traceClear();
        EXPECT_EQ(checkDownloadPin(platformProfile(), "pin_patch.ini", c.folder, "pin_download.exe"), c.verdict)
            << c.folder;
        // Judging removes nothing: the run's driver has a refused file removed.
        EXPECT_TRUE(exists("pin_download.exe")) << c.folder;
        EXPECT_EQ(traceCaptured(), c.trace);
    }
    // A pinned download that is not there at all never passes.
    std::remove("pin_download.exe");
    EXPECT_EQ(checkDownloadPin(platformProfile(), "pin_patch.ini", 0, "pin_download.exe"), kPinMismatch);
    std::remove("pin_patch.ini");
}

} // namespace
