// Start-up logic that needs no window: the switch scan, the usage text, the
// exit statuses and the builder's steps.
#include "PackageFiles.h"

#include "app/Builder.h"
#include "app/ExitStatus.h"
#include "app/LaunchSwitches.h"
#include "common/Trace.h"
#include "package/PatchPackage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

namespace {

TEST(SwitchScan, WholeArgumentsWithoutRegardToCase)
{
    struct Case {
        std::vector<const char*> args;
        bool silent;
        bool wait;
        bool help;
        int logFile = -1;
        bool logWithoutFile = false;
        int resultFile = -1;
        bool verbose = false;
    };
    const Case cases[] = {
        {{"Veldrun.exe"}, false, false, false},
        {{"Veldrun.exe", "/s"}, true, false, false},
        {{"Veldrun.exe", "/S"}, true, false, false},
        {{"Veldrun.exe", "-s"}, true, false, false},
        {{"Veldrun.exe", "-W"}, false, true, false},
        {{"Veldrun.exe", "/w", "-S"}, true, true, false},
        {{"Veldrun.exe", "-s", "/s", "-s"}, true, false, false},
        {{"/s"}, true, false, false}, // the program name counts too
        {{"Veldrun.exe", "/sx", "s", "w", "--s", "/ s", "/s ", "-ws", "//w", "", "?", "/??", "help"},
         false,
         false,
         false},
        {{"Veldrun.exe", nullptr, "-w"}, false, true, false}, // an argument without narrow form
        {{"Veldrun.exe", "/?"}, false, false, true},
        {{"Veldrun.exe", "/s", "-?"}, true, false, true},
        {{"Veldrun.exe", "/H"}, false, false, true},
        {{"Veldrun.exe", "-Help"}, false, false, true},
        {{"Veldrun.exe", "/HELP", "/w"}, false, true, true},
        {{"Veldrun.exe", "/s", "/LOG", "C:\\v.log", "/logx", "log"}, true, false, false, 3},
        {{"Veldrun.exe", "-log", "/s", "/w"}, false, true, false, 2}, // the file name is not a switch
        {{"Veldrun.exe", "/log", nullptr}, false, false, false, 2},   // a file name without narrow form
        {{"Veldrun.exe", "/log", "a", "-Log", "b"}, false, false, false, 4},
        {{"Veldrun.exe", "/s", "/log"}, true, false, false, -1, true},
        // "/result FILE" takes its file as "/log" does; "/verbose" is a flag.
        {{"Veldrun.exe", "/RESULT", "/log", "/log", "r.log"}, false, false, false, 4, false, 2},
        {{"Veldrun.exe", "-result", "a", "/verbose", "/result"}, false, false, false, -1, false, 2, true},
        {{"Veldrun.exe", "-Verbose", "/verbosex"}, false, false, false, -1, false, -1, true},
    };
    for (const Case& c : cases) {
        LaunchSwitches sw = scanSwitches(c.args.data(), static_cast<int>(c.args.size()));
        const char* last = c.args.back() ? c.args.back() : "null";
        EXPECT_EQ(c.silent, sw.silent) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.wait, sw.wait) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.help, sw.help) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.logFile, sw.logFile) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.logWithoutFile, sw.logWithoutFile) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.resultFile, sw.resultFile) << c.args.size() << " args, last " << last;
        EXPECT_EQ(c.verbose, sw.verbose) << c.args.size() << " args, last " << last;
    }
}

// Every argument after the program name that is no switch is traced.
TEST(SwitchScan, IgnoredArgumentsAreTraced)
{
    const char* args[] = {"/x", "/s", "extra", "/?", "/log", "run.log"};
    traceClear();
    scanSwitches(args, 6);
    EXPECT_EQ("[Veldrun] Argument ignored: extra\n", traceCaptured());
}

// A first builder argument meant for a package is no target name.
TEST(SwitchScan, BuilderRefusesUpdateSwitchesAsTarget)
{
    for (const char* arg : {"-s", "/S", "-w", "/W", "/?", "-?", "/h", "/help", "/log", "-LOG", "/result", "-verbose"})
        EXPECT_TRUE(isLaunchSwitch(arg)) << arg;
    for (const char* arg : {"package.exe", "s", "-sw", "", "/x"})
        EXPECT_FALSE(isLaunchSwitch(arg)) << arg;
    EXPECT_FALSE(isLaunchSwitch(nullptr));
}

TEST(UsageText, ThreeLinesWithTheWholeProgramName)
{
    std::FILE* f = std::tmpfile();
    ASSERT_TRUE(f);
    printUsage(f, "C:\\Program Files\\Veldrun.exe");
    std::rewind(f);
    char buf[512] = {};
    std::size_t n = std::fread(buf, 1, sizeof buf - 1, f);
    std::fclose(f);
    EXPECT_EQ(std::string("Usage: C:\\Program Files\\Veldrun.exe <TargetFile> <AppendFile>\n"
                          "TargetFile is executable you want to create that will be self extracted.\n"
                          "AppendFile is the file you want to attach to target File.\n"),
              std::string(buf, n));
}

// The builder's exit statuses as the README documents them to scripts: the
// numbers are the contract, not the names.
TEST(ExitStatus, BuilderStatusesAreTheDocumentedNumbers)
{
    const struct {
        int attachResult;
        int status;
    } cases[] = {
        {kAttachDone, 0},
        {kAttachMarked, 2},
        {kAttachTargetOpen, 3},
        {kAttachSourceOpen, 4},
        {kAttachWriteFailed, 8},
        {kAttachNameRefused, 6},
        {99, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.status, builderExitStatus(c.attachResult)) << "attach result " << c.attachResult;
}

class BuilderTest : public ::testing::Test {
protected:
    // Runs the builder with a copy step that copies `program` (or fails).
    int build(const char* target, const char* append, bool copyWorks = true)
    {
        copies = 0;
        CPatchPackage package(dir.file("program.exe").c_str());
        return buildPackage(package, target, append, [&] {
            ++copies;
            if (copyWorks)
                writeFile(target, program);
            return copyWorks;
        });
    }

    TempDir dir;
    WorkingDir cwd{dir.path()};
    Bytes program = "MZ" + pseudoRandomBytes(4000, 2);
    Bytes ini = "[SRInfo]\nSRNo=X\n";
    int copies = 0;
};

TEST_F(BuilderTest, WritesAPackageOverAnExistingTarget)
{
    writeFile("patch.ini", ini);
    writeFile("out.exe", "old contents");
    EXPECT_EQ(kBuildWritten, build("out.exe", "patch.ini"));
    EXPECT_EQ(composePackage(program, "patch.ini", ini), readFile("out.exe"));
}

TEST_F(BuilderTest, FailedCopyLeavesTheTargetAsItWas)
{
    writeFile("patch.ini", ini);
    writeFile("other.exe", "someone else's file");
    EXPECT_EQ(kBuildCopyFailed, build("other.exe", "patch.ini", false));
    EXPECT_EQ("someone else's file", readFile("other.exe"));
    EXPECT_EQ(kBuildCopyFailed, build("missing.exe", "patch.ini", false));
    EXPECT_FALSE(fileExists("missing.exe"));
}

TEST_F(BuilderTest, ArgumentsRefusedBeforeAnythingIsWritten)
{
    writeFile("patch.ini", ini);
    EXPECT_EQ(kBuildTargetOpen, build(nullptr, "patch.ini"));
    EXPECT_EQ(kBuildAttachOpen, build("out.exe", nullptr));
    EXPECT_EQ(kBuildNameRefused, build("out.exe", "dir\\"));
    EXPECT_EQ(kBuildNameRefused, build("out.exe", "sub/patch.ini"));
    EXPECT_EQ(0, copies);
    EXPECT_FALSE(fileExists("out.exe"));
}

TEST_F(BuilderTest, UnreadableAttachmentLeavesThePlainCopy)
{
    EXPECT_EQ(kBuildAttachOpen, build("out.exe", "none.ini"));
    EXPECT_EQ(program, readFile("out.exe"));
}

} // namespace

// "/?" names what a silent run passes to this package's patch: its own
// SilentArgs (as the reader finds them) or "/s".
TEST(SwitchesText, NamesThePatchsOwnSilentSwitches)
{
    const struct {
        std::string attached;
        const char* says;
    } kCases[] = {
        {"", "started hidden with /s\n"},
        {"[SRInfo]\r\nSRNo=X\r\n", "started hidden with /s\n"},
        {"[SRInfo]\r\nSilentArgs=/S\r\nsilentargs=/quiet\r\n", "started hidden with /S (its SilentArgs)\n"},
        {"[RegPath]\nSilentArgs=/x\n[srinfo]\nSILENTARGS = /VERYSILENT /NORESTART \n",
         "started hidden with /VERYSILENT /NORESTART (its SilentArgs)\n"},
        {std::string("\xFF\xFE[\0S\0R\0I\0n\0f\0o\0]\0\n\0S\0i\0l\0e\0n\0t\0A\0r\0g\0s\0=\0/\0q\0\n\0", 48),
         "started hidden with /q (its SilentArgs)\n"},
    };
    for (const auto& c : kCases) {
        std::string text = switchesText(c.attached);
        EXPECT_NE(text.find(c.says), std::string::npos) << text;
        EXPECT_EQ(text.rfind("Usage: package.exe [/s] [/w] [/log FILE] [/result FILE] [/verbose]\n", 0), 0u) << text;
    }
}
