#include "RegExport.h"
#include "RegExportRules.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// The rules table (shared with the comparison against the registry editor
// under Wine), read whole and fed one byte at a time: a block may end
// anywhere, inside a UTF-16 unit or between CR and LF.
TEST(RegExport, ReadsEachLineAsTheRegistryEditorImportsIt)
{
    for (const RegRule& rule : regRules()) {
        std::string bytes = ruleFile(rule);
        CRegExport whole;
        EXPECT_EQ(whole.parse(bytes), rule.result) << rule.name << "\n" << whole.error();
        EXPECT_EQ(dumpExport(whole), sortedLines(rule.expect)) << rule.name;

        CRegExport stream;
        stream.begin();
        for (char c : bytes)
            stream.feed(&c, 1);
        EXPECT_EQ(stream.finish(), rule.result) << rule.name;
        EXPECT_EQ(dumpExport(stream), sortedLines(rule.expect)) << rule.name;
    }
}

TEST(RegExport, Utf16TextBecomesWindows1252AndSkippedLinesAreNamed)
{
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                          u"[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\DiscStudio\\UserReg]\r\n"
                          u"\"Prod_Name\"=\"Ombrel Disc Studio \u00e9\u20ac\u4e2d\U0001F600\"\r\n"
                          u"[HKEY_CURRENT_USER\\Software\\Ombrel]\r\n"
                          u"junk\r\n";
    CRegExport reg;
    ASSERT_EQ(reg.parse(utf16le(text)), kRegExportOk) << reg.error();
    ASSERT_EQ(reg.keys().size(), 1u);
    // Windows-1252: e acute 0xE9, euro 0x80; outside the code page "?".
    EXPECT_EQ(reg.keys()[0].values.at(0).text, "Ombrel Disc Studio \xE9\x80??");
    ASSERT_EQ(reg.warnings().size(), 2u);
    EXPECT_EQ(reg.warnings()[0].rfind("line 5: key outside HKEY_LOCAL_MACHINE left out: HKEY_CURRENT_USER", 0), 0u);
    EXPECT_EQ(reg.warnings()[1].rfind("line 6: skipped", 0), 0u);
}

TEST(RegExport, WarningsAreBoundedAndAMissingFileIsUnreadable)
{
    std::string text = "REGEDIT4\r\n";
    for (std::size_t i = 0; i < CRegExport::kMaxWarnings + 7; ++i)
        text += "junk\r\n";
    CRegExport reg;
    ASSERT_EQ(reg.parse(text), kRegExportOk);
    ASSERT_EQ(reg.warnings().size(), CRegExport::kMaxWarnings + 1);
    EXPECT_EQ(reg.warnings().back(), "... and 7 more");
    TempDir dir;
    EXPECT_EQ(reg.parseFile(dir.file("missing.reg")), kRegExportUnreadable);
}

} // namespace
