// build, inspect and extract on packages made here: the bytes builder mode
// writes, the layout report (signature tables included), and the refusals.
#include "ToolTestRun.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

namespace {

// A patch information file without lint errors.
const char kIni[] = "[RegPath]\r\nCount=1\r\nPath0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\n"
                    "[SRInfo]\r\nSRNo=OMS240118-02\r\nURL=https://srv/patch/417\r\nCount=1\r\n"
                    "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215\r\n";

void put32(std::string& s, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

std::string le32(std::uint32_t v)
{
    std::string s(4, '\0');
    put32(s, 0, v);
    return s;
}

// A 1,024-byte PE32 image header whose certificate table entry says
// (offset, size); (0, 0) for an unsigned image.
std::string peStub(std::uint32_t sigOffset = 0, std::uint32_t sigSize = 0)
{
    std::string s(1024, '\0');
    s[0] = 'M';
    s[1] = 'Z';
    put32(s, 0x3C, 0x80);
    s.replace(0x80, 4, std::string("PE\0\0", 4));
    std::size_t opt = 0x80 + 24;
    s[opt] = 0x0B;
    s[opt + 1] = 0x01;
    put32(s, opt + 92, 16);
    put32(s, opt + 96 + 32, sigOffset);
    put32(s, opt + 96 + 36, sigSize);
    return s;
}

// What builder mode writes for stub and the attached file.
std::string expectedPackage(const std::string& stub, const std::string& name, const std::string& content)
{
    return stub + le32(static_cast<std::uint32_t>(name.size())) + name + content +
           le32(static_cast<std::uint32_t>(stub.size())) + "!vdrsign!!vdrsign!";
}

TEST(BuildCommand, WritesTheBuilderModeLayoutUnderTheFilesBareName)
{
    TempDir dir;
    std::filesystem::create_directory(dir.file("release"));
    writeFile(dir.file("stub.exe"), peStub());
    writeFile(dir.file("release/patch.ini"), kIni);
    ToolResult r = runTool({"build", dir.file("stub.exe"), dir.file("release/patch.ini"), "-o", dir.file("out.exe")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    std::string package = readFile(dir.file("out.exe"));
    std::string expected = expectedPackage(peStub(), "patch.ini", kIni);
    ASSERT_EQ(package.size(), expected.size() + 2);
    EXPECT_EQ(package.substr(0, expected.size()), expected);
    EXPECT_EQ(package[expected.size()], '\0') << "the marker's terminator";

    // Building again over an existing package replaces it.
    r = runTool({"build", dir.file("stub.exe"), dir.file("release/patch.ini"), "-o", dir.file("out.exe")});
    EXPECT_EQ(r.status, kToolOk) << r.err;
    EXPECT_EQ(readFile(dir.file("out.exe")), package);
}

TEST(BuildCommand, RefusalsAndFailuresLeaveNoPackage)
{
    TempDir dir;
    writeFile(dir.file("stub.exe"), peStub());
    writeFile(dir.file("patch.ini"), kIni);
    writeFile(dir.file("bad:name.ini"), kIni);
    writeFile(dir.file("package.exe"), expectedPackage(peStub(), "patch.ini", kIni) + std::string(2, '\0'));
    writeFile(dir.file("tiny.exe"), "MZ\x90\0\x03\0\0\0");
    writeFile(dir.file("empty.ini"), "");
    writeFile(dir.file("signed.exe"), peStub(1024, 8) + "CERTCERT");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"build", dir.file("stub.exe"), dir.file("patch.ini")}, kToolUsage, "-o PACKAGE.exe"},
        {{"build", dir.file("stub.exe"), "-o", dir.file("out.exe")}, kToolUsage, "needs STUB.exe"},
        {{"build", dir.file("stub.exe"), dir.file("patch.ini"), "-o", dir.file("stub.exe")},
         kToolUsage,
         "other than STUB.exe"},
        {{"build", dir.file("missing.exe"), dir.file("patch.ini"), "-o", dir.file("out.exe")},
         kToolUnreadable,
         "cannot read"},
        {{"build", dir.file("stub.exe"), dir.file("missing.ini"), "-o", dir.file("out.exe")},
         kToolUnreadable,
         "missing.ini"},
        {{"build", dir.file("package.exe"), dir.file("patch.ini"), "-o", dir.file("out.exe")},
         kToolRefused,
         "already a package"},
        {{"build", dir.file("stub.exe"), dir.file("bad:name.ini"), "-o", dir.file("out.exe")},
         kToolRefused,
         "cannot carry the name \"bad:name.ini\""},
        {{"build", dir.file("tiny.exe"), dir.file("patch.ini"), "-o", dir.file("out.exe")},
         kToolMalformed,
         "tiny.exe: is not a Windows program"},
        {{"build", dir.file("stub.exe"), dir.file("package.exe"), "-o", dir.file("out.exe")},
         kToolRefused,
         "not a patch information file"},
        {{"build", dir.file("stub.exe"), dir.file("empty.ini"), "-o", dir.file("out.exe")},
         kToolMalformed,
         "empty.ini: has errors (2 error(s)"},
        {{"build", dir.file("signed.exe"), dir.file("patch.ini"), "-o", dir.file("out.exe")},
         kToolRefused,
         "is code-signed"},
        {{"build", dir.file("stub.exe"), dir.file("patch.ini"), "-o", dir.file("no/such/dir/out.exe")},
         kToolWriteFailed,
         "cannot write"},
    };
    for (const Case& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fileExists(dir.file("out.exe"))) << c.message;
    }
    EXPECT_EQ(readFile(dir.file("stub.exe")), peStub());

    // --force builds over lint errors and from a signed stub, saying so.
    for (const char* stub : {"stub.exe", "signed.exe"}) {
        ToolResult r = runTool({"build", dir.file(stub), dir.file("empty.ini"), "-o", dir.file("out.exe"), "--force"});
        EXPECT_EQ(r.status, kToolOk) << r.err;
        EXPECT_NE(r.err.find("warning: built despite errors"), std::string::npos) << r.err;
    }
}

TEST(InspectCommand, LayoutOfAPlainAndOfASignedPackage)
{
    TempDir dir;
    std::string plain = expectedPackage(peStub(), "patch.ini", kIni) + std::string(2, '\0');
    writeFile(dir.file("plain.exe"), plain);
    ToolResult r = runTool({"inspect", dir.file("plain.exe")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    for (const char* part :
         {"executable size: 1024\n", "attached name:   patch.ini\n", "content size:    195\n", "trailing bytes:  0\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;

    // Signed afterwards: 6 alignment bytes, then a 40-byte certificate table
    // that the header points to.
    std::uint32_t sigOffset = static_cast<std::uint32_t>(plain.size() + 6);
    std::string signedPkg = expectedPackage(peStub(sigOffset, 40), "patch.ini", kIni) + std::string(2, '\0') +
                            std::string(6, '\0') + std::string(40, 'C');
    writeFile(dir.file("signed.exe"), signedPkg);
    r = runTool({"inspect", dir.file("signed.exe"), "--json"});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    for (std::string part : {std::string("\"executableSize\": 1024"), std::string("\"trailingBytes\": 46"),
                             "\"signatureTable\": {\n    \"offset\": " + std::to_string(sigOffset) +
                                 ",\n    \"size\": 40,\n    \"alignmentBytes\": 6\n  }"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;

    // A second trailer grown into the table and bytes after it: reported,
    // never taken.
    std::string retagged = expectedPackage(peStub(sigOffset, 40 + 300), "patch.ini", kIni) + std::string(2, '\0') +
                           std::string(6, '\0') + std::string(40, 'C') +
                           expectedPackage("", "patch.ini", "[SRInfo]\r\nURL=http://evil\r\n") + std::string(2, '\0');
    retagged.resize(static_cast<std::size_t>(sigOffset) + 340, 'C');
    writeFile(dir.file("retagged.exe"), retagged + "after");
    r = runTool({"inspect", dir.file("retagged.exe")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    for (const char* part : {"trailer region:  before the certificate table\n", "content size:    195\n",
                             "ignored:         a package marker inside or after the certificate table (never read)\n",
                             "ignored:         5 bytes after the certificate table\n"})
        EXPECT_NE(r.out.find(part), std::string::npos) << part << "\n" << r.out;

    // Bytes after the trailer that the header does not point to.
    writeFile(dir.file("tail.exe"), plain + "junk");
    r = runTool({"inspect", dir.file("tail.exe")});
    EXPECT_NE(r.out.find("trailing bytes:  4 (not a signature table)"), std::string::npos) << r.out;
}

TEST(InspectAndExtract, NotAPackageDamagedTrailerAndRefusedName)
{
    TempDir dir;
    writeFile(dir.file("stub.exe"), peStub());
    const std::string package = expectedPackage(peStub(), "patch.ini", kIni) + std::string(2, '\0');
    std::string damaged = package;
    put32(damaged, damaged.size() - 24, 0x7FFFFF00); // start offset past the end
    writeFile(dir.file("damaged.exe"), damaged);
    damaged = package;
    put32(damaged, peStub().size(), 0x80000000); // the most negative name length
    writeFile(dir.file("negative.exe"), damaged);
    writeFile(dir.file("evil.exe"), expectedPackage(peStub(), "../patch.ini", kIni) + std::string(2, '\0'));
    std::filesystem::create_directory(dir.file("x"));

    ToolResult r = runTool({"inspect", dir.file("stub.exe"), "--json"});
    EXPECT_EQ(r.status, kToolNotPackage);
    EXPECT_NE(r.out.find("\"package\": false"), std::string::npos) << r.out;
    EXPECT_EQ(runTool({"extract", dir.file("stub.exe"), "-C", dir.file("x")}).status, kToolNotPackage);

    for (const char* name : {"damaged.exe", "negative.exe"}) {
        EXPECT_EQ(runTool({"inspect", dir.file(name)}).status, kToolMalformed) << name;
        EXPECT_EQ(runTool({"extract", dir.file(name), "-C", dir.file("x")}).status, kToolMalformed) << name;
    }

    r = runTool({"inspect", dir.file("evil.exe")});
    EXPECT_EQ(r.status, kToolMalformed);
    EXPECT_NE(r.out.find("../patch.ini (refused"), std::string::npos) << r.out;
    r = runTool({"extract", dir.file("evil.exe"), "-C", dir.file("x")});
    EXPECT_EQ(r.status, kToolRefused) << r.err;
    EXPECT_FALSE(fileExists(dir.file("patch.ini")));
    EXPECT_TRUE(std::filesystem::is_empty(dir.file("x")));

    EXPECT_EQ(runTool({"inspect", dir.file("missing.exe")}).status, kToolUnreadable);
    EXPECT_EQ(runTool({"extract", dir.file("missing.exe")}).status, kToolUnreadable);
    EXPECT_EQ(runTool({"inspect"}).status, kToolUsage);
    EXPECT_EQ(runTool({"extract", dir.file("stub.exe"), "-C"}).status, kToolUsage);
}

TEST(ExtractCommand, WritesTheAttachedFileIntoTheDirectory)
{
    TempDir dir;
    writeFile(dir.file("package.exe"), expectedPackage(peStub(), "patch.ini", kIni) + std::string(2, '\0') + "tail");
    std::filesystem::create_directory(dir.file("out"));
    ToolResult r = runTool({"extract", dir.file("package.exe"), "-C", dir.file("out")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    EXPECT_EQ(readFile(dir.file("out/patch.ini")), kIni);

    // A missing directory is named as missing; a file where it should be, as no directory.
    for (const auto& [name, said] : {std::pair<const char*, const char*>{"absent", "is missing"},
                                     std::pair<const char*, const char*>{"package.exe", "is not a directory"}}) {
        r = runTool({"extract", dir.file("package.exe"), "-C", dir.file(name)});
        EXPECT_EQ(r.status, kToolWriteFailed);
        EXPECT_NE(r.err.find(said), std::string::npos) << r.err;
    }

    // A file of that name already there stays; --force replaces it.
    writeFile(dir.file("out/patch.ini"), "mine");
    r = runTool({"extract", dir.file("package.exe"), "-C", dir.file("out")});
    EXPECT_EQ(r.status, kToolWriteFailed);
    EXPECT_NE(r.err.find("exists (a file or a link); extract creates a new file only"), std::string::npos) << r.err;
    EXPECT_EQ(readFile(dir.file("out/patch.ini")), "mine");
    ASSERT_EQ(runTool({"extract", dir.file("package.exe"), "-C", dir.file("out"), "--force"}).status, kToolOk);
    EXPECT_EQ(readFile(dir.file("out/patch.ini")), kIni);
}

#ifndef _WIN32
// A link planted under the attachment's name is never written through: not
// even with --force, which replaces the link itself.
TEST(ExtractCommand, NeverWritesThroughAPlantedLink)
{
    TempDir dir;
    writeFile(dir.file("package.exe"), expectedPackage(peStub(), "patch.ini", kIni) + std::string(2, '\0'));
    std::filesystem::create_directory(dir.file("out"));
    writeFile(dir.file("victim"), "precious");
    std::filesystem::create_symlink(dir.file("victim"), dir.file("out/patch.ini"));
    std::filesystem::create_symlink(dir.file("nowhere"), dir.file("out/dangling"));

    ToolResult r = runTool({"extract", dir.file("package.exe"), "-C", dir.file("out")});
    EXPECT_EQ(r.status, kToolWriteFailed);
    EXPECT_NE(r.err.find("exists (a file or a link)"), std::string::npos) << r.err;
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("out/patch.ini")));
    ASSERT_EQ(runTool({"extract", dir.file("package.exe"), "-C", dir.file("out"), "--force"}).status, kToolOk);
    EXPECT_FALSE(std::filesystem::is_symlink(dir.file("out/patch.ini")));
    EXPECT_EQ(readFile(dir.file("out/patch.ini")), kIni);
    EXPECT_EQ(readFile(dir.file("victim")), "precious");
    EXPECT_FALSE(fileExists(dir.file("nowhere")));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.file("out")), {}), 2) << "nothing else left";
}
#endif

TEST(Vdrpack, HelpOnEveryCommandAndUsageErrors)
{
    for (const char* command : {"build", "inspect", "extract", "check", "pin"}) {
        ToolResult r = runTool({command, "--help"});
        EXPECT_EQ(r.status, kToolOk) << command;
        EXPECT_EQ(r.out.find(std::string("usage: vdrpack ") + command), 0u) << r.out;
    }
    EXPECT_EQ(runTool({"--help"}).status, kToolOk);
    EXPECT_EQ(runTool({}).status, kToolUsage);
    ToolResult r = runTool({"sign"});
    EXPECT_EQ(r.status, kToolUsage);
    EXPECT_NE(r.err.find("unknown command \"sign\""), std::string::npos);
}

} // namespace
