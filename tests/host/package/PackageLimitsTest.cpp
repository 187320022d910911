// What the package does at its limits: names it will not write outside the
// destination directory, paths that do not fit, and failing reads and writes.
#include "PackageFiles.h"

#include "package/PatchPackage.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <sys/resource.h>

namespace {

class PackageLimitsTest : public ::testing::Test {
protected:
    // Lets writes fail once a file passes `bytes` (the process's file size limit).
    void limitFileSize(rlim_t bytes)
    {
        std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(0, getrlimit(RLIMIT_FSIZE, &m_saved));
        rlimit lim = m_saved;
        lim.rlim_cur = bytes;
        ASSERT_EQ(0, setrlimit(RLIMIT_FSIZE, &lim));
        m_limited = true;
    }

    void TearDown() override
    {
        if (m_limited)
            setrlimit(RLIMIT_FSIZE, &m_saved);
    }

    TempDir dir;
    WorkingDir cwd{dir.path()};
    Bytes exe = "MZ" + pseudoRandomBytes(2000, 5);
    Bytes ini = "[RegPath]\r\nCount=0\r\n";

private:
    rlimit m_saved{};
    bool m_limited = false;
};

TEST_F(PackageLimitsTest, StoredNamesThatWouldLeaveTheDestinationAreRefused)
{
    const Bytes names[] = {
        "",          ".",          "..",  "..\\evil.exe",           "a\\b.ini",      "/etc/evil",
        "sub/x.ini", "C:evil.ini", "x:y", Bytes("pa\0tch.ini", 10), Bytes(260, 'n'), Bytes(4000, 'n')};
    for (const Bytes& name : names) {
        SCOPED_TRACE(name.substr(0, 40));
        writeFile(dir.file("pkg.exe"), composePackage(exe, name, ini));
        CPatchPackage pkg(dir.file("pkg.exe").c_str());
        ASSERT_EQ(1, pkg.checkSignature());
        char out[260];
        std::strcpy(out, "untouched");
        EXPECT_EQ(kDetachNameRefused, pkg.detachFile(dir.path().c_str(), out, sizeof out));
        EXPECT_STREQ("untouched", out);
        EXPECT_FALSE(isStorableName(name.data(), name.size()));
    }
    // Nothing was written next to the package.
    EXPECT_EQ(0, std::system(("test \"$(ls -A '" + dir.path() + "')\" = pkg.exe").c_str()));
}

TEST_F(PackageLimitsTest, NamesUpTo259BytesAreKept)
{
    for (const Bytes& name : {Bytes("a"), Bytes("..ini"), Bytes("x..y"), Bytes(" space .ini"), Bytes(259 - 20, 'k')}) {
        EXPECT_TRUE(isStorableName(name.data(), name.size())) << name;
    }
    Bytes name(200, 'k');
    writeFile(dir.file("pkg.exe"), composePackage(exe, name, ini));
    CPatchPackage pkg(dir.file("pkg.exe").c_str());
    ASSERT_EQ(1, pkg.checkSignature());
    char out[260];
    ASSERT_EQ(kDetachDone, pkg.detachFile(nullptr, out, sizeof out));
    EXPECT_EQ(name, out);
    EXPECT_EQ(ini, readFile(out));
    std::remove(out);
}

TEST_F(PackageLimitsTest, WriterRefusesNamesTheReaderWouldRefuse)
{
    writeFile(dir.file("target.exe"), exe);
    writeFile(dir.file("sub/x.ini"), ini);
    writeFile(dir.file("a:b"), ini);
    struct Case {
        std::string path;
        const char* storedName; // null: the name taken from the path
    };
    const Case cases[] = {
        {dir.file("sub\\"), nullptr}, {dir.file("x\\.."), nullptr}, {"sub/x.ini", nullptr}, {"a:b", nullptr},
        {"sub/x.ini", "sub/x.ini"},   {"sub/x.ini", ".."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " as " + (c.storedName ? c.storedName : "(its name)"));
        CPatchPackage pkg(dir.file("target.exe").c_str());
        EXPECT_EQ(kAttachNameRefused, pkg.attachFile(c.path.c_str(), c.storedName));
        EXPECT_EQ(exe, readFile(dir.file("target.exe")));
    }
}

TEST_F(PackageLimitsTest, DestinationPathsThatDoNotFitAreRefused)
{
    char out[260];
    // 250 + "\\" + "patch.ini" passes 259 bytes.
    Bytes longDir(250, 'd');
    std::strcpy(out, "untouched");
    EXPECT_FALSE(composeDestPath(longDir.c_str(), "patch.ini", out, sizeof out));
    EXPECT_STREQ("untouched", out);
    Bytes fits(249, 'd'); // 249 + 1 + 9 = 259
    EXPECT_TRUE(composeDestPath(fits.c_str(), "patch.ini", out, sizeof out));
    EXPECT_EQ(fits + "\\patch.ini", out);

    // An existing directory whose path leaves no room for the name.
    std::string deep = dir.path();
    while (deep.size() < 240)
        deep += "/" + Bytes(std::min<std::size_t>(60, 245 - deep.size()), 'q');
    ASSERT_EQ(0, std::system(("mkdir -p '" + deep + "'").c_str()));
    writeFile(dir.file("pkg.exe"), composePackage(exe, "patch-information.ini", ini));
    CPatchPackage pkg(dir.file("pkg.exe").c_str());
    ASSERT_EQ(1, pkg.checkSignature());
    std::strcpy(out, "untouched");
    EXPECT_EQ(kDetachPathTooLong, pkg.detachFile(deep.c_str(), out, sizeof out));
    EXPECT_STREQ("untouched", out);

    // A caller's buffer too small for the path: refused, not cut.
    char small[8];
    std::strcpy(small, "keep");
    EXPECT_EQ(kDetachPathTooLong, pkg.detachFile(nullptr, small, sizeof small));
    EXPECT_STREQ("keep", small);
    EXPECT_FALSE(fileExists("patch-information.ini"));
}

TEST_F(PackageLimitsTest, PackagePathsThatDoNotFitLeaveThePathEmpty)
{
    Bytes tooLong(260, 'p');
    CPatchPackage pkg(tooLong.c_str());
    EXPECT_STREQ("", pkg.packagePath);
    EXPECT_EQ(0, pkg.checkSignature());
    EXPECT_EQ(kDetachPackageOpen, pkg.detachFile(nullptr, nullptr, 0));
    EXPECT_EQ(kAttachTargetOpen, pkg.attachFile("x.ini"));

    Bytes fits(259, 'p');
    EXPECT_TRUE(pkg.setPackagePath(fits.c_str()));
    EXPECT_EQ(fits, pkg.packagePath);
    EXPECT_FALSE(pkg.setPackagePath(tooLong.c_str()));
    EXPECT_STREQ("", pkg.packagePath);
    EXPECT_FALSE(pkg.setPackagePath(nullptr));
}

TEST_F(PackageLimitsTest, FailedAppendPutsTheTargetBack)
{
    Bytes big = pseudoRandomBytes(50000, 9);
    writeFile(dir.file("big.ini"), big);
    writeFile(dir.file("target.exe"), exe);
    limitFileSize(exe.size() + 10000);
    CPatchPackage pkg(dir.file("target.exe").c_str());
    EXPECT_EQ(kAttachWriteFailed, pkg.attachFile("big.ini"));
    EXPECT_EQ(exe, readFile(dir.file("target.exe")));

    CPatchPackage fresh(dir.file("new.exe").c_str());
    EXPECT_EQ(kAttachWriteFailed, fresh.attachFile("big.ini"));
    EXPECT_FALSE(fileExists(dir.file("new.exe")));
}

TEST_F(PackageLimitsTest, FailedExtractionRemovesThePartialFile)
{
    Bytes big = pseudoRandomBytes(50000, 11);
    writeFile(dir.file("pkg.exe"), composePackage(exe, "big.ini", big));
    CPatchPackage pkg(dir.file("pkg.exe").c_str());
    ASSERT_EQ(1, pkg.checkSignature());
    limitFileSize(10000);
    char out[260];
    EXPECT_EQ(kDetachCopyFailed, pkg.detachFile(dir.path().c_str(), out, sizeof out));
    EXPECT_FALSE(fileExists(out));
}

} // namespace
