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

// UTF-16 text narrowed to each code page, written as a quoted string and
// as hex(1): data alike (surrogates in pairs or alone included).
TEST(RegExport, Utf16TextIsNarrowedToTheCodePage)
{
    struct Case {
        unsigned codePage;
        std::u16string text;
        const char* narrow;
    };
    const Case cases[] = {
        {1252, u"Disc \u00e9\u20ac\u4e2d\U0001F600\u0080", "Disc \xE9\x80???"},
        {1250, u"\u0141\u00f3d\u017a \u0160\u00e9\u0444",
         "\xA3\xF3"
         "d\x9F \x8A\xE9?"},
        {1251, u"\u041f\u0440\u0438\u0432\u0435\u0442 \u0451\u00e9", "\xCF\xF0\xE8\xE2\xE5\xF2 \xB8?"},
        {65001, u"\u00e9\u20ac\U0001F600", "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"},
        {65001, std::u16string(u"a") + char16_t(0xD83D) + u"b" + char16_t(0xDE00),
         "a\xEF\xBF\xBD"
         "b\xEF\xBF\xBD"},
        {1252, std::u16string(u"a") + char16_t(0xDE00) + char16_t(0xD83D), "a??"},
    };
    for (const Case& c : cases) {
        std::u16string hex;
        for (char16_t unit : c.text + u'\0') {
            static const char digits[] = "0123456789abcdef";
            for (unsigned byte : {unit & 0xFFu, unsigned(unit) >> 8})
                hex += std::u16string(1, char16_t(digits[byte >> 4])) + char16_t(digits[byte & 15]) + u",";
        }
        hex.pop_back();
        CRegExport reg;
        ASSERT_TRUE(reg.setCodePage(c.codePage));
        ASSERT_EQ(reg.parse(utf16le(u"Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\A]\r\n\"Q\"=\"" +
                                    c.text + u"\"\r\n\"H\"=hex(1):" + hex + u"\r\n")),
                  kRegExportOk)
            << reg.error();
        ASSERT_EQ(reg.keys().size(), 1u);
        ASSERT_EQ(reg.keys()[0].values.size(), 2u);
        EXPECT_EQ(reg.keys()[0].values[0].text, c.narrow) << c.codePage;
        EXPECT_EQ(reg.keys()[0].values[1].text, c.narrow) << c.codePage;
    }
    CRegExport reg;
    EXPECT_FALSE(reg.setCodePage(932));
}

TEST(RegExport, SkippedLinesAreNamed)
{
    std::u16string text = u"Windows Registry Editor Version 5.00\r\n\r\n"
                          u"[HKEY_LOCAL_MACHINE\\Software\\Ombrel\\DiscStudio\\UserReg]\r\n"
                          u"[HKEY_CURRENT_USER\\Software\\Ombrel]\r\n"
                          u"junk\r\n";
    CRegExport reg;
    ASSERT_EQ(reg.parse(utf16le(text)), kRegExportOk) << reg.error();
    ASSERT_EQ(reg.keys().size(), 1u);
    ASSERT_EQ(reg.warnings().size(), 2u);
    EXPECT_EQ(reg.warnings()[0].rfind("line 4: key outside HKEY_LOCAL_MACHINE left out: HKEY_CURRENT_USER", 0), 0u);
    EXPECT_EQ(reg.warnings()[1].rfind("line 5: skipped", 0), 0u);
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
