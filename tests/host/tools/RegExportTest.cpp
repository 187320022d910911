#include "RegExport.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const RegExportValue* find(const CRegExport& reg, const std::string& path, const std::string& name)
{
    for (const RegExportKey& k : reg.keys()) {
        if (k.path != path)
            continue;
        for (const RegExportValue& v : k.values) {
            if (v.name == name)
                return &v;
        }
    }
    return nullptr;
}

const char kAnsi[] = "Windows Registry Editor Version 5.00\r\n"
                     "\r\n"
                     "; exported from the test machine\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\TapeTune\\UserReg]\r\n"
                     "\"Prod_Name\"=\"Tape & Tune\"\r\n"
                     "\"Prod_Ver\"=\"2.5\"\r\n"
                     "\"Quoted\"=\"say \\\"hi\\\" C:\\\\dir\\\\\"\r\n"
                     "@=\"default\"\r\n"
                     "\"Flags\"=dword:00000001\r\n"
                     "\"Blob\"=hex:01,02,03,\\\r\n"
                     "  04,05\r\n"
                     "\"Path\"=hex(2):25,50,00\r\n"
                     "\"NoEnd\"=hex(1):41,42\r\n"
                     "\r\n"
                     "[HKEY_CURRENT_USER\\Software\\Ombrel]\r\n"
                     "\"Ignored\"=\"x\"\r\n"
                     "\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\Gone]\r\n"
                     "\"A\"=\"1\"\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\Gone\\Below]\r\n"
                     "[-HKEY_LOCAL_MACHINE\\software\\ombrel\\gone]\r\n"
                     "[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\TapeTune\\UserReg]\r\n"
                     "\"prod_ver\"=\"2.6\"\r\n"
                     "\"Flags\"=-\r\n";

TEST(RegExport, ReadsStringsEscapesNonStringsDeletionsAndOtherRoots)
{
    CRegExport reg;
    ASSERT_EQ(reg.parse(kAnsi), kRegExportOk) << reg.error();
    const std::string key = "Software\\Ombrel\\TapeTune\\UserReg";
    ASSERT_EQ(reg.keys().size(), 1u);
    ASSERT_NE(find(reg, key, "Prod_Name"), nullptr);
    EXPECT_EQ(find(reg, key, "Prod_Name")->text, "Tape & Tune");
    // A later value of the same name (any case) replaces the earlier one.
    ASSERT_NE(find(reg, key, "Prod_Ver"), nullptr);
    EXPECT_EQ(find(reg, key, "Prod_Ver")->text, "2.6");
    EXPECT_EQ(find(reg, key, "Quoted")->text, "say \"hi\" C:\\dir\\");
    EXPECT_EQ(find(reg, key, "")->text, "default");
    ASSERT_NE(find(reg, key, "Blob"), nullptr);
    ASSERT_NE(find(reg, key, "Path"), nullptr);
    EXPECT_FALSE(find(reg, key, "Blob")->bString);
    // REG_EXPAND_SZ in an ANSI file: ANSI bytes, read unexpanded; without
    // its terminator a string value is not read.
    EXPECT_TRUE(find(reg, key, "Path")->bString);
    EXPECT_EQ(find(reg, key, "Path")->text, "%P");
    EXPECT_FALSE(find(reg, key, "NoEnd")->bString);
    EXPECT_TRUE(find(reg, key, "Prod_Name")->bString);
    EXPECT_EQ(find(reg, key, "Flags"), nullptr) << "\"Flags\"=- removes the value";
    ASSERT_EQ(reg.warnings().size(), 1u);
    EXPECT_NE(reg.warnings()[0].find("line 15"), std::string::npos) << reg.warnings()[0];
    EXPECT_NE(reg.warnings()[0].find("HKEY_CURRENT_USER"), std::string::npos);
}

TEST(RegExport, Utf16WithByteOrderMarkReadsLikeAnsi)
{
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                          u"[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\DiscStudio\\UserReg]\r\n"
                          u"\"Prod_Name\"=\"Ombrel Disc Studio \u00e9\u20ac\u4e2d\"\r\n"
                          u"\"Path\"=hex(2):25,00,e9,00,00,00\r\n";
    CRegExport reg;
    ASSERT_EQ(reg.parse(utf16le(text)), kRegExportOk) << reg.error();
    const RegExportValue* v = find(reg, "Software\\Ombrel\\DiscStudio\\UserReg", "Prod_Name");
    ASSERT_NE(v, nullptr);
    // Windows-1252: e acute 0xE9, euro 0x80; outside the code page "?".
    EXPECT_EQ(v->text, "Ombrel Disc Studio \xE9\x80?");
    EXPECT_EQ(find(reg, "Software\\Ombrel\\DiscStudio\\UserReg", "Path")->text, "%\xE9") << "UTF-16LE hex data";
}

TEST(RegExport, RefusesWhatIsNotAnExportAndNamesTheBadLine)
{
    struct Case {
        const char* text;
        int result;
        const char* where;
    };
    const Case cases[] = {
        {"", kRegExportNoHeader, ""},
        {"[HKEY_LOCAL_MACHINE\\Software]\r\n", kRegExportNoHeader, ""},
        {"REGEDIT4\n\"A\"=\"1\"\n", kRegExportMalformed, "line 2"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\n", kRegExportMalformed, "line 2"},
        {"REGEDIT4\n[HKLM\\Software]\n\"A\"=\"unterminated\n", kRegExportMalformed, "line 3"},
        {"REGEDIT4\n[HKLM\\Software]\n\"A\"=\"1\" junk\n", kRegExportMalformed, "line 3"},
        {"REGEDIT4\n[HKLM\\Software]\n\"A\" \"1\"\n", kRegExportMalformed, "line 3"},
        {"REGEDIT4\n[HKLM\\Software]\n\"A\"=qword:1\n", kRegExportMalformed, "line 3"},
        {"REGEDIT4\n[HKLM\\Software]\n\"A\"=hex(2):4,00\n", kRegExportMalformed, "line 3"},
        {"REGEDIT4\n[HKLM\\Software]\nrandom text\n", kRegExportMalformed, "line 3"},
    };
    for (const Case& c : cases) {
        CRegExport reg;
        EXPECT_EQ(reg.parse(c.text), c.result) << c.text;
        EXPECT_NE(reg.error().find(c.where), std::string::npos) << c.text << " -> " << reg.error();
    }
}

TEST(RegExport, AbbreviatedRootAndRemovalOnlyBelowItsOwnPath)
{
    CRegExport reg;
    ASSERT_EQ(reg.parse("REGEDIT4\n[HKLM\\Software\\A]\n\"v\"=\"1\"\n[HKLM\\Software\\AB]\n\"v\"=hex(2):32,00\n"
                        "[-HKLM\\Software\\A]\n"),
              kRegExportOk);
    ASSERT_EQ(reg.keys().size(), 1u);
    EXPECT_EQ(reg.keys()[0].path, "Software\\AB");
    EXPECT_EQ(reg.keys()[0].values[0].text, "2") << "hex strings of an ANSI file are ANSI bytes";
}

} // namespace
