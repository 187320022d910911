#include "ToolTestRun.h"

#include "common/FixedBuf.h"
#include "products/Profile.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char kIni[] = "[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nSRNo=OMS240118-02\r\nCount=2\r\n\r\n";
// SHA-256 of "abc".
const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(PinCommand, WritesAndReplacesPinsKeepingTheFile)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    writeFile(dir.file("build0.exe"), "abc");
    writeFile(dir.file("max.exe"), "abcd");

    ToolResult r = runTool({"pin", dir.file("patch.ini"), "--build", "0", dir.file("build0.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("SHA2560=") + kAbc + ", Size0=3"), std::string::npos) << r.out;
    r = runTool({"pin", dir.file("patch.ini"), "--max", dir.file("max.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(readFile(dir.file("patch.ini")),
              std::string("[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nSRNo=OMS240118-02\r\nCount=2\r\nSHA2560=") + kAbc +
                  "\r\nSize0=3\r\nSHA256Max=88d4266fd4e6338d13b845fcf289579d209c897823b9217da3e161936f031589\r\n"
                  "SizeMax=4\r\n\r\n");

    // Pinning again replaces the values in place.
    writeFile(dir.file("build0.exe"), "abcd");
    ASSERT_EQ(runTool({"pin", dir.file("patch.ini"), "--build", "0", dir.file("build0.exe")}).status, 0);
    std::string after = readFile(dir.file("patch.ini"));
    EXPECT_EQ(after.find(kAbc), std::string::npos);
    EXPECT_EQ(after.find("SHA2560="), after.rfind("SHA2560="));
    EXPECT_NE(after.find("\r\nSize0=4\r\n"), std::string::npos);
    EXPECT_EQ(after.find("Size0="), after.rfind("Size0="));

    // A folder the selection never picks is pinned, with a warning.
    r = runTool({"pin", dir.file("patch.ini"), "--build", "2", dir.file("build0.exe")});
    EXPECT_EQ(r.status, kToolOk);
    EXPECT_NE(r.err.find("Count is 2, so folder 2 is never selected"), std::string::npos) << r.err;
}

// Each encoding the program reads keeps its encoding and every other byte,
// and the pin lands where the program's reader finds [SRInfo].
TEST(PinCommand, WritesInTheFilesOwnEncodingWhereTheReaderLooks)
{
    const std::string pin = std::string("SHA256Max=") + kAbc;
    struct Case {
        const char* name;
        std::string before;
        std::string after;
        const char* warning;
    };
    const Case cases[] = {
        {"UTF-8 with byte-order mark",
         "\xEF\xBB\xBF; Gr\xC3\xB6\xC3\x9F"
         "e\n[SRInfo]\nSRNo=X\n",
         "\xEF\xBB\xBF; Gr\xC3\xB6\xC3\x9F"
         "e\n[SRInfo]\nSRNo=X\n" +
             pin + "\nSizeMax=3\n",
         ""},
        {"UTF-8 without mark, no final line break", "[srinfo]\r\nSRNo=X",
         "[srinfo]\r\nSRNo=X\r\n" + pin + "\r\nSizeMax=3", ""},
        {"UTF-16LE with mark", utf16le(u"; \u00e9\u20ac\U0001F600\r\n[SRInfo]\r\nSRNo=X\r\n"),
         utf16le(u"; \u00e9\u20ac\U0001F600\r\n[SRInfo]\r\nSRNo=X\r\n" + std::u16string(pin.begin(), pin.end()) +
                 u"\r\nSizeMax=3\r\n"),
         ""},
        {"unclosed bracket: a section of its own", "[RegPath]\r\nCount=0\r\n[SRInfo\r\nSRNo=X\r\n",
         "[RegPath]\r\nCount=0\r\n[SRInfo\r\nSRNo=X\r\n\r\n[SRInfo]\r\n" + pin + "\r\nSizeMax=3\r\n",
         "patch.ini:3: warning: a section line without its closing"},
    };
    for (const Case& c : cases) {
        TempDir dir;
        writeFile(dir.file("patch.ini"), c.before);
        writeFile(dir.file("b.exe"), "abc");
        ToolResult r = runTool({"pin", dir.file("patch.ini"), "--max", dir.file("b.exe")});
        EXPECT_EQ(r.status, kToolOk) << c.name << "\n" << r.err;
        EXPECT_EQ(readFile(dir.file("patch.ini")), c.after) << c.name;
        EXPECT_NE(r.err.find(c.warning), std::string::npos) << c.name << "\n" << r.err;
        char got[kMaxText] = {};
        platformProfile().getString("SRInfo", "SHA256Max", "", got, sizeof got, dir.file("patch.ini").c_str());
        EXPECT_EQ(std::string(got), kAbc) << c.name;
    }
}

TEST(PinCommand, BadInputHasItsOwnStatusAndLeavesTheFile)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    writeFile(dir.file("b.exe"), "abc");
    const std::string package = std::string("MZ") + kIni + std::string("\x05\0\0\0!vdrsign!!vdrsign!\0\0", 24);
    writeFile(dir.file("package.exe"), package);
    writeFile(dir.file("empty.exe"), "");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"pin", dir.file("patch.ini"), dir.file("b.exe")}, kToolUsage, "either --build N or --max"},
        {{"pin", dir.file("patch.ini"), "--max", "--build", "1", dir.file("b.exe")}, kToolUsage, "either"},
        {{"pin", dir.file("patch.ini"), "--build", "01", dir.file("b.exe")}, kToolUsage, "leading zeros"},
        {{"pin", dir.file("patch.ini"), "--build", "-1", dir.file("b.exe")}, kToolUsage, "folder number"},
        {{"pin", dir.file("patch.ini"), "--build", "x", dir.file("b.exe")}, kToolUsage, "folder number"},
        {{"pin", dir.file("patch.ini"), "--build", "999", dir.file("b.exe")}, kToolUsage, "already applied"},
        {{"pin", dir.file("patch.ini"), "--build"}, kToolUsage, "needs a value"},
        {{"pin", dir.file("patch.ini"), "--max"}, kToolUsage, "needs PATCH.ini and FILE"},
        {{"pin", dir.file("patch.ini"), "--max", "--sha1", dir.file("b.exe")}, kToolUsage, "unknown option --sha1"},
        {{"pin", dir.file("missing.ini"), "--max", dir.file("b.exe")}, kToolUnreadable, "cannot read"},
        {{"pin", dir.file("patch.ini"), "--max", dir.file("missing.exe")}, kToolUnreadable, "missing.exe"},
        {{"pin", dir.file("patch.ini"), "--max", dir.file("")}, kToolUnreadable, "cannot read"},
        {{"pin", dir.file("package.exe"), "--max", dir.file("b.exe")}, kToolRefused, "not a patch information file"},
        {{"pin", dir.file("patch.ini"), "--max", dir.file("empty.exe")}, kToolRefused, "is empty"},
    };
    for (const Case& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(readFile(dir.file("patch.ini")), kIni);
    EXPECT_EQ(readFile(dir.file("package.exe")), package);
}

TEST(PinCommand, APinThatDoesNotReadBackLeavesTheFileAlone)
{
    TempDir dir;
    writeFile(dir.file("b.exe"), "abc");
    ToolResult r;

    // A file the program's reader cannot read back (its full path passes
    // 259 characters) keeps its old bytes, and nothing is left beside it.
    std::string deep = dir.file(std::string(120, 'd') + "/" + std::string(120, 'e'));
    std::filesystem::create_directories(deep);
    writeFile(deep + "/patch.ini", kIni);
    r = runTool({"pin", deep + "/patch.ini", "--max", dir.file("b.exe")});
    EXPECT_EQ(r.status, kToolWriteFailed);
    EXPECT_NE(r.err.find("did not read back"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(deep + "/patch.ini"), kIni);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(deep), {}), 1);
}

} // namespace

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The file named is edited where it lives: a link stays a link and its
// target is pinned, the target keeps its mode, and nothing else is left in
// its folder.
TEST(PinCommand, PinsALinksTargetAndKeepsItsMode)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("repo"));
    writeFile(dir.file("repo/patch.ini"), kIni);
    ASSERT_EQ(chmod(dir.file("repo/patch.ini").c_str(), 0640), 0);
    ASSERT_EQ(symlink("repo/patch.ini", dir.file("patch.ini").c_str()), 0);
    writeFile(dir.file("b.exe"), "abc");

    ToolResult r = runTool({"pin", dir.file("patch.ini"), "--max", dir.file("b.exe")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("patch.ini")));
    EXPECT_NE(readFile(dir.file("repo/patch.ini")).find(std::string("SHA256Max=") + kAbc), std::string::npos);
    struct stat st;
    ASSERT_EQ(stat(dir.file("repo/patch.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    std::size_t files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.file("repo")))
        files += e.path().filename() != "patch.ini";
    EXPECT_EQ(files, 0u) << "no temporary file left beside the target";
}

} // namespace
#endif
