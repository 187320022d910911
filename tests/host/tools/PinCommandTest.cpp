#include "ToolTestDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

const char kIni[] = "[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nSRNo=OMS240118-02\r\nCount=2\r\n\r\n";
// SHA-256 of "abc".
const char kAbc[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(PinCommand, WritesAndReplacesPinsKeepingTheFile)
{
    CToolTestDir dir;
    dir.write("patch.ini", kIni);
    dir.write("build0.exe", "abc");
    dir.write("max.exe", "");

    ToolResult r = runTool({"pin", dir.path("patch.ini"), "--build", "0", dir.path("build0.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(std::string("SHA2560=") + kAbc), std::string::npos) << r.out;
    r = runTool({"pin", dir.path("patch.ini"), "--max", dir.path("max.exe")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(dir.read("patch.ini"),
              std::string("[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nSRNo=OMS240118-02\r\nCount=2\r\nSHA2560=") + kAbc +
                  "\r\nSHA256Max=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\r\n\r\n");

    // Pinning again replaces the value in place.
    dir.write("build0.exe", "");
    ASSERT_EQ(runTool({"pin", dir.path("patch.ini"), "--build", "0", dir.path("build0.exe")}).status, 0);
    std::string after = dir.read("patch.ini");
    EXPECT_EQ(after.find(kAbc), std::string::npos);
    EXPECT_EQ(after.find("SHA2560="), after.rfind("SHA2560="));
    EXPECT_FALSE(dir.exists("patch.ini.vdrpack-new"));

    // A folder the selection never picks is pinned, with a warning.
    r = runTool({"pin", dir.path("patch.ini"), "--build", "2", dir.path("build0.exe")});
    EXPECT_EQ(r.status, kToolOk);
    EXPECT_NE(r.err.find("Count is 2, so folder 2 is never selected"), std::string::npos) << r.err;
}

TEST(PinCommand, BadInputHasItsOwnStatusAndLeavesTheFile)
{
    CToolTestDir dir;
    dir.write("patch.ini", kIni);
    dir.write("b.exe", "abc");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"pin", dir.path("patch.ini"), dir.path("b.exe")}, kToolUsage, "either --build N or --max"},
        {{"pin", dir.path("patch.ini"), "--max", "--build", "1", dir.path("b.exe")}, kToolUsage, "either"},
        {{"pin", dir.path("patch.ini"), "--build", "01", dir.path("b.exe")}, kToolUsage, "leading zeros"},
        {{"pin", dir.path("patch.ini"), "--build", "-1", dir.path("b.exe")}, kToolUsage, "folder number"},
        {{"pin", dir.path("patch.ini"), "--build", "x", dir.path("b.exe")}, kToolUsage, "folder number"},
        {{"pin", dir.path("patch.ini"), "--build", "999", dir.path("b.exe")}, kToolUsage, "already applied"},
        {{"pin", dir.path("patch.ini"), "--build"}, kToolUsage, "needs a value"},
        {{"pin", dir.path("patch.ini"), "--max"}, kToolUsage, "needs PATCH.ini and FILE"},
        {{"pin", dir.path("patch.ini"), "--max", "--sha1", dir.path("b.exe")}, kToolUsage, "unknown option --sha1"},
        {{"pin", dir.path("missing.ini"), "--max", dir.path("b.exe")}, kToolUnreadable, "cannot read"},
        {{"pin", dir.path("patch.ini"), "--max", dir.path("missing.exe")}, kToolUnreadable, "missing.exe"},
        {{"pin", dir.path("patch.ini"), "--max", dir.path("")}, kToolUnreadable, "cannot read"},
    };
    for (const Case& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.message;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_TRUE(r.out.empty());
    }
    EXPECT_EQ(dir.read("patch.ini"), kIni);
}

TEST(PinCommand, AFileThatCannotBeReplacedIsAWriteFailure)
{
    CToolTestDir dir;
    dir.write("patch.ini", kIni);
    dir.write("b.exe", "abc");
    // The new file is written beside the old one first; a directory in its
    // place makes that fail, even for a privileged user.
    std::filesystem::create_directory(dir.path("patch.ini.vdrpack-new"));
    ToolResult r = runTool({"pin", dir.path("patch.ini"), "--max", dir.path("b.exe")});
    EXPECT_EQ(r.status, kToolWriteFailed);
    EXPECT_NE(r.err.find("cannot write"), std::string::npos) << r.err;
    EXPECT_EQ(dir.read("patch.ini"), kIni);
}

} // namespace
