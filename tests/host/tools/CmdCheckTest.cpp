#include "ToolTestRun.h"

#include "ToolJson.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kIni[] = "[RegPath]\r\nCount=2\r\n"
                    "Path0=Software\\Ombrel\\DiscStudio\r\nCheck0=OmbrelDiscStudio 4.0\r\nNoVerCheck0=0\r\n"
                    "Path1=Software\\Ombrel\\TapeTune\r\nCheck1=Tape_Tune 2.5\r\nNoVerCheck1=1\r\n\r\n"
                    "[SRInfo]\r\nPID=417\r\nSRNo=OMS240118-02\r\nURL=http://srv/patch/417\r\nCount=2\r\n"
                    "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870\r\n"
                    "Info1=OmbrelDiscStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n";

struct Product {
    const char* key;
    const char* name;
    const char* ver;
    const char* srNo;
    const char* srVer;
};

std::string exportOf(const std::vector<Product>& products, const char* root = "HKEY_LOCAL_MACHINE\\SOFTWARE")
{
    std::string s = "Windows Registry Editor Version 5.00\r\n\r\n";
    for (const Product& p : products) {
        s += std::string("[") + root + "\\Ombrel\\" + p.key + "\\UserReg]\r\n\"Prod_Name\"=\"" + p.name +
             "\"\r\n\"Prod_Ver\"=\"" + p.ver + "\"\r\n\r\n";
        s += std::string("[") + root + "\\Ombrel\\" + p.key + "\\BuildInfo]\r\n\"SR_No\"=\"" + p.srNo +
             "\"\r\n\"SR_Ver\"=\"" + p.srVer + "\"\r\n\r\n";
    }
    return s;
}

const Product kDisc = {"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS230910-01", "4.00.2215"};
const Product kTape = {"TapeTune", "Tape & Tune", "2.5", "OMS230910-01", "2.50.1870"};

struct State {
    const char* name;
    std::vector<Product> products;
    const char* outcome;
    int status;
    std::vector<std::string> fetches; // in order
};

// the Ombrel example's installed states and what the run does with each.
TEST(CheckCommand, OmbrelExampleOutcomesAndUrlsInOrder)
{
    const State states[] = {
        {"as shipped",
         {kDisc, kTape},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/0/OMS240118-02.exe", "fallback: http://srv/patch/417/Max/OMS240118-02.exe"}},
        {"both on OMS231120-01",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS231120-01", "4.00.2301"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS231120-01", "2.50.1904"}},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/1/OMS240118-02.exe", "fallback: http://srv/patch/417/Max/OMS240118-02.exe"}},
        {"both patched",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"},
          {"TapeTune", "Tape & Tune", "2.5", "OMS240118-02", "2.50.2000"}},
         "already-applied",
         kToolAlreadyApplied,
         {}},
        {"one patched",
         {{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"}, kTape},
         "applicable",
         kToolOk,
         {"first: http://srv/patch/417/max/OMS240118-02.exe"}},
        {"Disc Studio 4.1",
         {{"DiscStudio", "Ombrel Disc Studio", "4.1", "OMS230910-01", "4.00.2215"}, kTape},
         "patch-error",
         kToolPatchError,
         {}},
        {"Tape & Tune missing", {kDisc}, "product-error", kToolProductError, {}},
    };
    for (const State& s : states) {
        TempDir dir;
        writeFile(dir.file("patch.ini"), kIni);
        writeFile(dir.file("state.reg"), exportOf(s.products));
        ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")});
        EXPECT_EQ(r.status, s.status) << s.name << "\n" << r.err;
        EXPECT_NE(r.out.find(std::string("outcome: ") + s.outcome + "\n"), std::string::npos) << s.name << "\n"
                                                                                              << r.out;
        std::size_t at = 0;
        for (const std::string& f : s.fetches) {
            std::size_t found = r.out.find(f + "\n", at);
            ASSERT_NE(found, std::string::npos) << s.name << ": " << f << " (in order)\n" << r.out;
            at = found + f.size();
        }
        EXPECT_EQ(r.out.find("first:") == std::string::npos, s.fetches.empty()) << s.name;
    }
}

TEST(CheckCommand, Utf16ExportAnd32BitViewOfA64BitMachine)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    // A 64-bit machine: the 32-bit program sees WOW6432Node; the native
    // 64-bit keys hold another product version it never reads.
    std::string text = exportOf({kDisc, kTape}, "HKEY_LOCAL_MACHINE\\SOFTWARE\\WOW6432Node") +
                       exportOf({{"DiscStudio", "Ombrel Disc Studio", "9.9", "X", "Y"}}).substr(38);
    std::string utf16 = "\xFF\xFE";
    for (char c : text) {
        utf16 += c;
        utf16 += '\0';
    }
    writeFile(dir.file("state.reg"), utf16);
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg")});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    EXPECT_NE(r.out.find("outcome: applicable"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/417/0/"), std::string::npos) << r.out;

    r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--view", "64"});
    EXPECT_NE(r.out.find("outcome: product-error"), std::string::npos) << r.out;
}

TEST(CheckCommand, JsonCarriesOutcomeBuildFetchesAndPins)
{
    TempDir dir;
    std::string ini = kIni;
    ini += "SHA256Max=e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855\r\nSizeMax=7\r\n";
    writeFile(dir.file("patch.ini"), ini);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--json"});
    ASSERT_EQ(r.status, kToolOk) << r.err;
    Json j = Json::parse(r.out);
    EXPECT_EQ(j["outcome"], "applicable");
    EXPECT_EQ(j["build"], Json({{"folder", 0}}));
    EXPECT_EQ(j["fetches"][0], Json({{"role", "first"},
                                     {"url", "http://srv/patch/417/0/OMS240118-02.exe"},
                                     {"pinKey", "SHA2560"},
                                     {"pin", nullptr},
                                     {"sizeKey", "Size0"},
                                     {"size", nullptr}}));
    EXPECT_EQ(j["fetches"][1]["pin"], "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(j["fetches"][1]["size"], "7");

    writeFile(dir.file("state.reg"),
              exportOf({{"DiscStudio", "Ombrel Disc Studio", "4.0", "OMS240118-02", "4.00.2400"}, kTape}));
    j = Json::parse(runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--json"}).out);
    EXPECT_EQ(j["build"], Json({{"generic", true}}));
}

TEST(CheckCommand, AllBuildsReportsEntriesAndKeysThatCanNeverMatch)
{
    TempDir dir;
    std::string longInfo = "Info5=" + std::string(200, 'x') + ";OmbrelDiscStudio#OMS230910-01#4.00.2215;" +
                           "Tape_Tune#OMS230910-01#2.50.1870\r\n";
    std::string ini = std::string(kIni).substr(0, std::string(kIni).find("Count=2\r\nInfo0")) + "Count=7\r\n" +
                      "Info0=OmbrelDiscStudio#OMS230910-01#4.00.2215;Tape_Tune#OMS230910-01#2.50.1870\r\n"
                      "Info1=OmbrelDiskStudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n"
                      "Info2=ombreldiscstudio#OMS231120-01#4.00.2301;Tape_Tune#OMS231120-01#2.50.1904\r\n"
                      "Info3=Tape_Tune#OMS230910-01#2.50.1870 ; OmbrelDiscStudio#OMS230910-01#4.00.2215\r\n"
                      "Info4=OmbrelDiscStudio#OMS1;Tape_Tune#OMS230910-01#2.50.1870\r\n" +
                      longInfo + "SHA2560=abc\r\n";
    writeFile(dir.file("patch.ini"), ini);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    ToolResult r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--all-builds"});
    EXPECT_EQ(r.status, kToolFindings) << r.err;
    const char* expected[] = {
        "[info-unknown-product] Info1 key 0 (OmbrelDiskStudio#OMS231120-01#4.00.2301) names no product of [RegPath] "
        "(Check0 names OmbrelDiscStudio)",
        "[info-incomplete] Info1 holds no build key of product 0 (OmbrelDiscStudio)",
        "[info-name-case] Info2 key 0 (ombreldiscstudio#OMS231120-01#4.00.2301): the name differs from Check0 "
        "(OmbrelDiscStudio) only in letter case",
        "[info-shadowed] Info3 holds the same build keys as Info0, which the selection always takes first",
        "[info-malformed] Info4 key 0 (OmbrelDiscStudio#OMS1) is not a build key",
        "[info-cut] Info5 key 2 (Tape_Tune#OMS230910-01#2.50.1870) reaches past character 259",
        "[info-missing] Info6 is missing or empty",
        "[pin-invalid] SHA2560 is not 64 hex digits",
    };
    for (const char* e : expected)
        EXPECT_NE(r.out.find(e), std::string::npos) << e << "\n" << r.out;
    EXPECT_EQ(r.out.find("Info0"), r.out.find("Info0, which")) << "Info0 is sound\n" << r.out;
    EXPECT_EQ(r.out.find("Info5 key 1"), std::string::npos) << "the key within 259 characters is fine\n" << r.out;

    // The same file without its faulty entries has no findings.
    writeFile(dir.file("patch.ini"), kIni);
    r = runTool({"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--all-builds"});
    EXPECT_EQ(r.status, kToolOk) << r.out;
    EXPECT_NE(r.out.find("all builds: 0 error(s)"), std::string::npos) << r.out;
}

TEST(CheckCommand, BadInputHasItsOwnStatus)
{
    TempDir dir;
    writeFile(dir.file("patch.ini"), kIni);
    writeFile(dir.file("state.reg"), exportOf({kDisc, kTape}));
    writeFile(dir.file("bad.reg"), "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\X]\r\n[-HKLM\\X]\r\n");
    writeFile(dir.file("text.reg"), "hello\r\n");
    writeFile(dir.file("other.reg"), "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Ombrel]\r\n\"A\"=\"1\"\r\n");
    struct Case {
        std::vector<std::string> args;
        int status;
        const char* message;
    };
    const Case cases[] = {
        {{"check", dir.file("patch.ini")}, kToolUsage, "needs PATCH.ini and --registry"},
        {{"check", "--registry", dir.file("state.reg")}, kToolUsage, "needs PATCH.ini"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("state.reg"), "--view", "16"}, kToolUsage, "32 or 64"},
        {{"check", dir.file("missing.ini"), "--registry", dir.file("state.reg")}, kToolUnreadable, "cannot read"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("missing.reg")}, kToolUnreadable, "missing.reg"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("bad.reg")}, kToolMalformed, "line 3: removes a key"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("text.reg")}, kToolMalformed, "not a registry export"},
        {{"check", dir.file("patch.ini"), "--registry", dir.file("other.reg")},
         kToolProductError,
         "outside HKEY_LOCAL_MACHINE left out: HKEY_CURRENT_USER\\Software\\Ombrel"},
    };
    for (const Case& c : cases) {
        ToolResult r = runTool(c.args);
        EXPECT_EQ(r.status, c.status) << c.message << "\n" << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

} // namespace
