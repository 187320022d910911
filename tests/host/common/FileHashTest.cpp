// sha256OfFile on the host (CSha256) and under Wine (CNG): the same files
// give the known digests.
#include "common/FileHash.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string hashHex(const char* path)
{
    unsigned char digest[kSha256Size];
    if (!sha256OfFile(path, digest))
        return "(failed)";
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    return hex;
}

void writeFile(const char* path, const std::string& bytes)
{
    std::FILE* f = std::fopen(path, "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

// On Windows a held file is neither written, renamed nor deleted by
// anyone else (the host has no sharing modes).
void expectNobodyWritesRenamesOrDeletes(const char* path)
{
#ifdef _WIN32
    std::FILE* writer = std::fopen(path, "r+b");
    EXPECT_EQ(nullptr, writer) << path;
    if (writer)
        std::fclose(writer);
    EXPECT_NE(0, std::rename(path, "filehash_moved.bin"));
    EXPECT_NE(0, std::remove(path));
#else
    (void)path;
#endif
}

TEST(FileHash, DigestsOfFilesSmallAndLargerThanOneChunk)
{
    writeFile("filehash_empty.bin", "");
    writeFile("filehash_abc.bin", "abc");
    writeFile("filehash_million.bin", std::string(1000000, 'a'));
    EXPECT_EQ(hashHex("filehash_empty.bin"), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(hashHex("filehash_abc.bin"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(hashHex("filehash_million.bin"), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
    std::remove("filehash_empty.bin");
    std::remove("filehash_abc.bin");
    std::remove("filehash_million.bin");
}

TEST(FileHash, AMissingFileIsAFailure)
{
    unsigned char digest[kSha256Size];
    EXPECT_FALSE(sha256OfFile("filehash_no_such_file.bin", digest));
    EXPECT_FALSE(sha256OfFile(nullptr, digest));
}

// The download is held from its check to its start: hashed through the
// held handle (from the start each time) and, on Windows, neither written,
// renamed nor deleted by anyone meanwhile.
TEST(FileHash, HeldFileCannotBeSwappedWhileHeld)
{
    writeFile("filehash_held.bin", "abc");
    CHeldFile held;
    ASSERT_TRUE(held.open("filehash_held.bin"));
    unsigned char first[kSha256Size], second[kSha256Size];
    ASSERT_TRUE(held.sha256(first));
    ASSERT_TRUE(held.sha256(second));
    EXPECT_EQ(0, std::memcmp(first, second, kSha256Size));
    expectNobodyWritesRenamesOrDeletes("filehash_held.bin");
    held.close();
    EXPECT_FALSE(held.sha256(first));
    EXPECT_EQ(0, std::remove("filehash_held.bin"));
}

// A download is written through the handle that made it: its digest comes
// from the bytes written, equals the file's own, and nobody else writes,
// renames or deletes it while it is written or afterwards held for reading.
TEST(FileHash, FileMadeAndWrittenHereIsHashedAsWrittenAndStaysHeld)
{
    std::remove("filehash_made.bin");
    CHeldFile held;
    ASSERT_TRUE(held.create("filehash_made.bin"));
    EXPECT_FALSE(CHeldFile().create("filehash_made.bin")); // never made twice
    const std::string chunk(1000, 'a');
    for (int i = 0; i < 1000; ++i)
        ASSERT_TRUE(held.write(chunk.data(), chunk.size()));
    for (bool reading : {false, true}) {
        if (reading) {
            ASSERT_TRUE(held.keepForReading());
        }
        unsigned char digest[kSha256Size];
        ASSERT_TRUE(held.sha256(digest));
        char hex[kSha256HexSize];
        sha256Hex(digest, hex);
        EXPECT_STREQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", hex) << reading;
        EXPECT_EQ(1000000, held.size());
        expectNobodyWritesRenamesOrDeletes("filehash_made.bin");
    }
    held.close();
    EXPECT_EQ("cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0", hashHex("filehash_made.bin"));
    EXPECT_EQ(0, std::remove("filehash_made.bin"));
}

} // namespace
