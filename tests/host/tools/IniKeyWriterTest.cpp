#include "IniKeyWriter.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    const char* name;
    const char* before;
    const char* after;
};

const Case kCases[] = {
    {"replaces the key in place, keeping its line ending and the rest",
     "[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nURL=x\r\n sha256max = old ; c\r\nCount=1\r\n",
     "[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nURL=x\r\nSHA256Max=NEW\r\nCount=1\r\n"},
    {"adds after the section's last line, before the blank line and the next section",
     "[SRInfo]\r\nURL=x\r\n; note\r\n\r\n[Other]\r\nSHA256Max=elsewhere\r\n",
     "[SRInfo]\r\nURL=x\r\n; note\r\nSHA256Max=NEW\r\n\r\n[Other]\r\nSHA256Max=elsewhere\r\n"},
    {"keeps LF line endings", "[SRInfo]\nURL=x\n", "[SRInfo]\nURL=x\nSHA256Max=NEW\n"},
    {"a last line without line ending gets one before the key", "[SRInfo]\nURL=x", "[SRInfo]\nURL=x\nSHA256Max=NEW"},
    {"a section header as the last line", "[A]\r\nk=1\r\n[ srinfo ]", "[A]\r\nk=1\r\n[ srinfo ]\r\nSHA256Max=NEW"},
    {"only the first section of the name counts", "[SRInfo]\nURL=x\n[SRInfo]\nSHA256Max=second\n",
     "[SRInfo]\nURL=x\nSHA256Max=NEW\n[SRInfo]\nSHA256Max=second\n"},
    {"a commented-out key is not the key", "[SRInfo]\n;SHA256Max=old\n", "[SRInfo]\n;SHA256Max=old\nSHA256Max=NEW\n"},
    {"a key line without \"=\" is replaced", "[SRInfo]\nSHA256Max\nURL=x\n", "[SRInfo]\nSHA256Max=NEW\nURL=x\n"},
    {"a \"[\" line without \"]\" is no section", "[RegPath]\n[SRInfo\nURL=x\n",
     "[RegPath]\n[SRInfo\nURL=x\n\n[SRInfo]\nSHA256Max=NEW\n"},
    {"a similar key name is another key", "[SRInfo]\nSHA256Max2=a\n", "[SRInfo]\nSHA256Max2=a\nSHA256Max=NEW\n"},
    {"without the section it is added at the end", "[RegPath]\r\nCount=0",
     "[RegPath]\r\nCount=0\r\n\r\n[SRInfo]\r\nSHA256Max=NEW\r\n"},
    {"an empty file", "", "[SRInfo]\r\nSHA256Max=NEW\r\n"},
    {"a UTF-8 byte-order mark stays", "\xEF\xBB\xBF[SRInfo]\n", "\xEF\xBB\xBF[SRInfo]\nSHA256Max=NEW\n"},
};

TEST(IniKeyWriter, EditsOnlyTheKeysLine)
{
    for (const Case& c : kCases)
        EXPECT_EQ(setIniKey(c.before, "SRInfo", "SHA256Max", "NEW"), c.after) << c.name;
}

} // namespace
