// The package format, the backward marker search, and the result codes of
// attachFile and detachFile.
#include "PackageFiles.h"

#include "common/Trace.h"
#include "package/MarkerSearch.h"
#include "package/PatchPackage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <unistd.h>

namespace {

const Bytes kZero(1, '\0');

// The search as the format defines it: step back one byte at a time from
// the end and compare each 20-byte window as a zero-terminated string.
struct Found {
    int result;
    std::int64_t trailing;
    bool operator==(const Found& o) const { return result == o.result && trailing == o.trailing; }
};

std::ostream& operator<<(std::ostream& os, const Found& f)
{
    return os << "{" << f.result << ", " << f.trailing << "}";
}

Found referenceSearch(const Bytes& file)
{
    std::string marker = markerText();
    std::int64_t size = static_cast<std::int64_t>(file.size());
    for (std::int64_t j = 0;; ++j) {
        std::int64_t at = size - j - 20;
        if (at < 0)
            return {0, j};
        char window[21] = {};
        std::memcpy(window, file.data() + at, 20);
        if (marker == window)
            return {1, j};
    }
}

class PackageTest : public ::testing::Test {
protected:
    // checkSignature's result, which searches a mapped view; the block
    // search over a stream, used when a file cannot be mapped, must agree.
    Found search(const Bytes& file)
    {
        std::string path = dir.file("search.exe");
        writeFile(path, file);
        CPatchPackage pkg(path.c_str());
        int r = pkg.checkSignature();
        FILE* f = std::fopen(path.c_str(), "rb");
        std::int64_t at = f ? lastMarkerInStream(f, static_cast<std::int64_t>(file.size()), pkg.marker) : -2;
        if (f)
            std::fclose(f);
        EXPECT_EQ(r == 1, at >= 0);
        if (at >= 0) {
            EXPECT_EQ(pkg.trailingBytes, static_cast<std::int64_t>(file.size()) - 20 - at);
        }
        return {r, pkg.trailingBytes};
    }

    // Writes a package and returns a path for it.
    std::string package(const Bytes& bytes, const char* name = "pkg.exe")
    {
        writeFile(dir.file(name), bytes);
        return dir.file(name);
    }

    TempDir dir;
    WorkingDir cwd{dir.path()};
    Bytes exe = "MZ" + pseudoRandomBytes(3000, 1);
    Bytes ini = "[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=http://127.0.0.1/patch/417\r\n";
};

TEST_F(PackageTest, WriterProducesTheDocumentedLayoutByteForByte)
{
    writeFile(dir.file("target.exe"), exe);
    writeFile(dir.file("sub\\patch.ini"), ini); // one host file whose name holds a backslash
    CPatchPackage pkg(dir.file("target.exe").c_str());
    ASSERT_EQ(kAttachDone, pkg.attachFile(dir.file("sub\\patch.ini").c_str()));

    Bytes expected = exe + le32(9) + "patch.ini" + ini + le32(3002) + markerText() + kZero + kZero;
    EXPECT_EQ(expected, readFile(dir.file("target.exe")));
    EXPECT_EQ(composePackage(exe, "patch.ini", ini), readFile(dir.file("target.exe")));
}

TEST_F(PackageTest, AttachmentNameIsWhatFollowsTheLastBackslash)
{
    EXPECT_STREQ("patch.ini", attachmentName("patch.ini"));
    EXPECT_STREQ("patch.ini", attachmentName("C:\\dir\\patch.ini"));
    EXPECT_STREQ("dir/patch.ini", attachmentName("C:\\x\\dir/patch.ini"));
    EXPECT_STREQ("", attachmentName("C:\\dir\\"));
}

TEST_F(PackageTest, SearchFindsMarkerFieldsByTheirFirstNineteenBytes)
{
    struct Case {
        const char* what;
        Bytes file;
        Found want;
    };
    Bytes m = markerText();
    Bytes tail5422 = pseudoRandomBytes(5422, 7);
    const Case cases[] = {
        {"20th byte zero", exe + markerField(0), {1, 0}},
        {"20th byte 0xFF", exe + markerField(0xFF), {1, 0}},
        {"non-zero 19th byte", exe + m + "\x01" + kZero, {0, 3002 + 20 - 19}},
        {"marker chars at the very end, no zero", exe + m, {0, 3002 + 18 - 19}},
        {"trailing bytes", exe + markerField() + tail5422, {1, 5422}},
        {"field at offset 0", markerField(), {1, 0}},
        {"field at offset 0 with trailing bytes", markerField(9) + "abcde", {1, 5}},
        {"the nearer of two trailers", exe + markerField() + "0123456789" + markerField() + "xyz", {1, 3}},
        {"19 bytes: too short for a window", m + kZero, {0, 0}},
        {"empty file", "", {0, 0}},
        {"plain file", exe, {0, 3002 - 19}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(c.want, search(c.file));
        EXPECT_EQ(c.want, referenceSearch(c.file));
    }
}

TEST_F(PackageTest, SearchAgreesWithTheByteByByteSearchAcrossBlockBoundaries)
{
    // Files of a few MiB with fields planted near the boundaries of the blocks
    // the stream search reads (every 256 KiB from the end; 1 MiB is four),
    // and with decoys (marker characters without the zero byte).
    std::mt19937 rng(42);
    const std::int64_t block = 1 << 20;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE(round);
        Bytes file = pseudoRandomBytes(static_cast<std::size_t>(2 * block + 5000 + round * 37), round);
        std::int64_t size = static_cast<std::int64_t>(file.size());
        std::uniform_int_distribution<int> jitter(-25, 25);
        std::int64_t at = size - 20 - block * (1 + round % 2) + jitter(rng);
        if (round % 3 != 2)
            file.replace(static_cast<std::size_t>(at), 20, markerField(static_cast<unsigned char>(round)));
        std::int64_t decoy = at + 20 + jitter(rng) + 30;
        file.replace(static_cast<std::size_t>(decoy), 19, markerText() + "!");
        EXPECT_EQ(referenceSearch(file), search(file));
    }
}

TEST_F(PackageTest, SearchAgreesWithTheByteByByteSearchAtEveryOffset)
{
    // A field at each offset of a small file, after a decoy without its zero byte.
    Bytes base = pseudoRandomBytes(700, 5);
    for (std::size_t at = 0; at + 20 <= base.size(); ++at) {
        Bytes file = base;
        file.replace(at, 20, markerField(0xFF));
        if (at >= 25)
            file.replace(at - 25, 19, markerText() + "\x7f");
        Found want = referenceSearch(file);
        ASSERT_EQ(1, want.result);
        ASSERT_EQ(want, search(file)) << "field at " << at;
    }
}

TEST_F(PackageTest, SearchTracesAndLeavesTheFileReadable)
{
    traceClear();
    EXPECT_EQ(1, search(exe + markerField()).result);
    EXPECT_EQ("[Veldrun] checkSignature\n[Veldrun] checkSignature 0\n", traceCaptured());
    traceClear();
    EXPECT_EQ(0, search(exe).result);
    EXPECT_EQ("[Veldrun] checkSignature\n", traceCaptured());
}

TEST_F(PackageTest, OwnProgramCarriesNoMarker)
{
    CPatchPackage own;
    char self[260] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof self - 1), 0);
    EXPECT_STREQ(self, own.packagePath);
    EXPECT_EQ(0, own.checkSignature());
    EXPECT_EQ(markerText() + kZero + kZero, Bytes(own.marker, sizeof own.marker));
}

TEST_F(PackageTest, SignedPackageExtractsTheSameFile)
{
    // 5,422 bytes appended after writing, as a certificate table would be.
    for (std::size_t extra : {std::size_t(0), std::size_t(5422)}) {
        SCOPED_TRACE(extra);
        std::string path = package(composePackage(exe, "patch.ini", ini, pseudoRandomBytes(extra, 3)));
        CPatchPackage pkg(path.c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        EXPECT_EQ(static_cast<std::int32_t>(extra), pkg.trailingBytes);
        char out[260];
        ASSERT_EQ(kDetachDone, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        EXPECT_EQ(dir.path() + "\\patch.ini", out);
        EXPECT_EQ(ini, readFile(out));
    }
}

TEST_F(PackageTest, SignedPackageCountsOnlyTheTrailerWhereItsCertificateTableBegins)
{
    Bytes evilIni = "[SRInfo]\r\nURL=http://127.0.0.1/evil\r\n";
    Bytes table = pseudoRandomBytes(1000, 5);
    Bytes evil = composePackage("", "patch.ini", evilIni); // a second attachment and trailer
    struct Case {
        const char* what;
        Bytes pad;          // between the honest trailer and the table
        Bytes inTable;      // grown into the table (its size field covers it)
        Bytes afterTable;   // appended after the table
        std::int64_t shift; // added to the table's place
        bool found;
    };
    const Case cases[] = {
        {"honest, aligned", Bytes(3, '\0'), "", "", 0, true},
        {"honest, no alignment", "", "", "", 0, true},
        {"second trailer inside the table", Bytes(3, '\0'), evil, "", 0, true},
        {"second trailer after the table", Bytes(3, '\0'), "", evil, 0, true},
        {"bytes other than zeros before the table", "abc", "", "", 0, false},
        {"eight zero bytes before the table", Bytes(8, '\0'), "", "", 0, false},
        {"table placed past the file's end", "", "", "", 1 << 20, false},
    };
    for (bool wide : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + (wide ? " (PE32+)" : " (PE32)"));
            Bytes head = composePackage(minimalPe(wide), "patch.ini", ini) + c.pad;
            Bytes file = head + table + c.inTable + c.afterTable;
            setCertTable(file, wide, static_cast<std::uint32_t>(static_cast<std::int64_t>(head.size()) + c.shift),
                         static_cast<std::uint32_t>(table.size() + c.inTable.size()));
            CPatchPackage pkg(package(file).c_str());
            ASSERT_EQ(c.found ? 1 : 0, pkg.checkSignature());
            if (!c.found)
                continue;
            char out[260];
            ASSERT_EQ(kDetachDone, pkg.detachFile(dir.path().c_str(), out, sizeof out));
            EXPECT_EQ(ini, readFile(out));
        }
    }
}

TEST_F(PackageTest, RoundTripKeepsEveryByteIncludingEmptyAndLargeAttachments)
{
    for (std::size_t len : {std::size_t(0), std::size_t(1), std::size_t(1024), std::size_t(1025), std::size_t(70000)}) {
        SCOPED_TRACE(len);
        Bytes content = pseudoRandomBytes(len, static_cast<std::uint32_t>(len));
        writeFile(dir.file("target.exe"), exe);
        writeFile(dir.file("content.bin"), content);
        CPatchPackage writer(dir.file("target.exe").c_str());
        ASSERT_EQ(kAttachDone, writer.attachFile("content.bin"));

        CPatchPackage reader(dir.file("target.exe").c_str());
        ASSERT_EQ(1, reader.checkSignature());
        char out[260];
        ASSERT_EQ(kDetachDone, reader.detachFile(dir.path().c_str(), out, sizeof out));
        EXPECT_TRUE(fileExists(out));
        EXPECT_EQ(content, readFile(out));
        // Held: made fresh only (nothing of someone else's is written into),
        // and what the hold reads is what was attached.
        CHeldFile hold;
        EXPECT_EQ(kDetachCreate, reader.detachFile(dir.path().c_str(), out, sizeof out, &hold));
        EXPECT_FALSE(hold.isOpen());
        std::remove(out);
        ASSERT_EQ(kDetachDone, reader.detachFile(dir.path().c_str(), out, sizeof out, &hold));
        unsigned char held[kSha256Size], want[kSha256Size];
        ASSERT_TRUE(hold.sha256(held));
        CSha256 sha;
        sha.update(content.data(), content.size());
        sha.finish(want);
        EXPECT_EQ(0, std::memcmp(held, want, sizeof want));
        EXPECT_EQ(static_cast<std::int64_t>(len), hold.size());
    }
}

TEST_F(PackageTest, DestinationPathComposition)
{
    struct Case {
        const char* dir;
        const char* want;
    };
    const Case cases[] = {
        {nullptr, "patch.ini"},
        {"", "patch.ini"},
        {"C:\\Temp", "C:\\Temp\\patch.ini"},
        {"C:\\Temp\\", "C:\\Temp\\patch.ini"},
        {"T", "T\\patch.ini"}, // one character: still inside it
        {"\\", "\\patch.ini"},
        {"C:/Temp/", "C:/Temp/\\patch.ini"}, // only the backslash counts
    };
    for (const Case& c : cases) {
        char out[260] = {};
        EXPECT_TRUE(composeDestPath(c.dir, "patch.ini", out, sizeof out));
        EXPECT_STREQ(c.want, out);
    }
}

TEST_F(PackageTest, DetachWritesIntoTheDestinationZeroFillsTheBufferAndTraces)
{
    struct Case {
        const char* what;
        std::string destDir; // empty: none given
        std::string want;    // the path written, in the caller's buffer
        std::string trace;
    };
    const Case cases[] = {
        {"no destination: the working directory", "", "patch.ini", "[Veldrun] detachFile (null)\n"},
        {"into the destination", dir.path(), dir.path() + "\\patch.ini", "[Veldrun] detachFile " + dir.path() + "\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPatchPackage pkg(package(composePackage(exe, "patch.ini", ini)).c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        char out[260];
        std::memset(out, 'x', sizeof out);
        traceClear();
        ASSERT_EQ(kDetachDone, pkg.detachFile(c.destDir.empty() ? nullptr : c.destDir.c_str(), out, sizeof out));
        EXPECT_EQ(c.trace, traceCaptured());
        EXPECT_EQ(c.want, out);
        EXPECT_EQ(ini, readFile(c.want));
        std::size_t len = std::strlen(out);
        EXPECT_EQ(Bytes(sizeof out - len, '\0'), Bytes(out + len, sizeof out - len));
        std::remove(out);
    }
}

TEST_F(PackageTest, DetachToAPathOfTheCallersWritesThereUnderAnyStoredName)
{
    struct Case {
        const char* what;
        const char* storedName;
        const char* dest;     // null: no path
        std::size_t nameSize; // room for the stored name
        int want;
    };
    const Case cases[] = {
        {"written to the path, name reported", "patch.ini", "elsewhere.bin", 260, kDetachDone},
        {"name just fits", "patch.ini", "elsewhere.bin", 10, kDetachDone},
        {"no room for the name", "patch.ini", "elsewhere.bin", 9, kDetachPathTooLong},
        {"no path", "patch.ini", nullptr, 260, kDetachPathTooLong},
        {"empty path", "patch.ini", "", 260, kDetachPathTooLong},
        {"refused name still refused", "sub/patch.ini", "elsewhere.bin", 260, kDetachNameRefused},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CPatchPackage pkg(package(composePackage(exe, c.storedName, ini)).c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        char name[260];
        std::strcpy(name, "untouched");
        traceClear();
        EXPECT_EQ(c.want, pkg.detachFileTo(c.dest, name, c.nameSize));
        EXPECT_EQ("", traceCaptured());
        EXPECT_STREQ(c.want == kDetachDone ? c.storedName : "untouched", name);
        EXPECT_EQ(c.want == kDetachDone, fileExists("elsewhere.bin"));
        EXPECT_FALSE(fileExists(c.storedName));
        if (c.want == kDetachDone) {
            EXPECT_EQ(ini, readFile("elsewhere.bin"));
        }
        std::remove("elsewhere.bin");
    }
}

TEST_F(PackageTest, DetachResultCodes)
{
    char out[260];
    Bytes good = composePackage(exe, "patch.ini", ini);

    // A destination directory that does not exist: 1, nothing written, buffer untouched.
    {
        CPatchPackage pkg(package(good).c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        std::strcpy(out, "untouched");
        EXPECT_EQ(kDetachDone, pkg.detachFile(dir.file("missing").c_str(), out, sizeof out));
        EXPECT_STREQ("untouched", out);
        EXPECT_FALSE(fileExists(dir.file("missing\\patch.ini")));
    }
    // No package file.
    {
        CPatchPackage pkg(dir.file("none.exe").c_str());
        EXPECT_EQ(kDetachPackageOpen, pkg.detachFile(dir.path().c_str(), out, sizeof out));
    }
    // trailingBytes not where the marker is (checkSignature not run on a signed package).
    {
        CPatchPackage pkg(package(good + "extra").c_str());
        EXPECT_EQ(kDetachNoTrailer, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        pkg.trailingBytes = 1 << 30;
        EXPECT_EQ(kDetachNoTrailer, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        pkg.trailingBytes = -1;
        EXPECT_EQ(kDetachNoTrailer, pkg.detachFile(dir.path().c_str(), out, sizeof out));
    }
    // Start offsets and name lengths that do not lead to a header before the trailer.
    struct Bad {
        const char* what;
        std::int64_t start;
        std::int64_t nameLen;
    };
    const std::int64_t trailerAt = static_cast<std::int64_t>(exe.size() + 4 + 9 + ini.size());
    const Bad bads[] = {
        {"start past the trailer", trailerAt + 10, -1},
        {"start at the trailer", trailerAt, -1},
        {"start beyond the file", 0x7FFFFFF0, -1},
        {"negative start", 0xFFFFFFF0, -1},
        {"name running into the trailer", -1, static_cast<std::int64_t>(4 + 9 + ini.size())},
        {"negative name length", -1, 0xFFFFFFFF},
    };
    for (const Bad& b : bads) {
        SCOPED_TRACE(b.what);
        CPatchPackage pkg(package(composePackage(exe, "patch.ini", ini, "", b.start, b.nameLen)).c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        std::strcpy(out, "untouched");
        EXPECT_EQ(kDetachBadStart, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        EXPECT_STREQ("untouched", out);
        EXPECT_FALSE(fileExists(dir.path() + "\\patch.ini"));
    }
    // The destination cannot be created (a directory stands in its place):
    // 5, and the buffer already holds the path.
    {
        ASSERT_EQ(0, mkdir((dir.path() + "\\patch.ini").c_str(), 0700));
        CPatchPackage pkg(package(good).c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        EXPECT_EQ(kDetachCreate, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        EXPECT_EQ(dir.path() + "\\patch.ini", out);
        rmdir((dir.path() + "\\patch.ini").c_str());
    }
}

TEST_F(PackageTest, AttachResultCodes)
{
    std::string target = dir.file("target.exe");
    writeFile(dir.file("patch.ini"), ini);

    // No file to attach: 1 and nothing done.
    writeFile(target, exe);
    {
        CPatchPackage pkg(target.c_str());
        EXPECT_EQ(kAttachDone, pkg.attachFile(nullptr));
        EXPECT_EQ(exe, readFile(target));
    }
    // A target that already carries a marker stays as it is: a second attachment is refused.
    {
        CPatchPackage pkg(target.c_str());
        ASSERT_EQ(kAttachDone, pkg.attachFile("patch.ini"));
        Bytes once = readFile(target);
        EXPECT_EQ(kAttachMarked, pkg.attachFile("patch.ini"));
        EXPECT_EQ(once, readFile(target));
    }
    // A target that cannot be opened for appending (a directory).
    {
        ASSERT_EQ(0, mkdir(dir.file("adir").c_str(), 0700));
        CPatchPackage pkg(dir.file("adir").c_str());
        EXPECT_EQ(kAttachTargetOpen, pkg.attachFile("patch.ini"));
    }
    // A file to attach that cannot be opened: an existing target unchanged, a missing one not created.
    {
        writeFile(target, exe);
        CPatchPackage pkg(target.c_str());
        EXPECT_EQ(kAttachSourceOpen, pkg.attachFile("none.ini"));
        EXPECT_EQ(exe, readFile(target));
        CPatchPackage fresh(dir.file("new.exe").c_str());
        EXPECT_EQ(kAttachSourceOpen, fresh.attachFile("none.ini"));
        EXPECT_FALSE(fileExists(dir.file("new.exe")));
    }
    // A missing target is created holding only the attachment and trailer.
    {
        CPatchPackage fresh(dir.file("new.exe").c_str());
        EXPECT_EQ(kAttachDone, fresh.attachFile("patch.ini"));
        EXPECT_EQ(composePackage("", "patch.ini", ini), readFile(dir.file("new.exe")));
    }
}

} // namespace
