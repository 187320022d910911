#include "ProfileConformance.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

// A value of n characters that shows where it was cut: "0123456789012...".
std::string counted(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>('0' + i % 10);
    return s;
}

// An ASCII text as UTF-16 with its byte-order mark.
std::string utf16(const std::string& text, bool bigEndian)
{
    std::string bytes = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (char c : text) {
        bytes += bigEndian ? '\0' : c;
        bytes += bigEndian ? c : '\0';
    }
    return bytes;
}

struct ProfileFile {
    const char* name;
    std::string bytes;
};

const std::vector<ProfileFile>& profileFiles()
{
    static const std::vector<ProfileFile> files = {
        {"main.ini", "; a comment line before any section\n"
                     "Count=9\n"
                     "[RegPath]\n"
                     "Count=2\n"
                     "Path0=Software\\Ombrel\\DiscStudio\n"
                     "  Check0 =   OmbrelDiscStudio 4.0   \n"
                     "NoVerCheck0=\t1\t\n"
                     "NoVerCheck1= 1 \n"
                     "NoVerCheck2=01\n"
                     "NoVerCheck3=yes\n"
                     ";Path1=Software\\Commented\\Out\n"
                     "   ;NoVerCheck4=1\n"
                     "Path10=Software\\Ten\n"
                     "Path2\n"
                     "\n"
                     "[SRInfo]\n"
                     "PID=417\n"
                     "SRNo=OMS240118-02\n"
                     "URL=http://update.example/patch/417?lang=en\n"
                     "Info0=A#S1#1.0;B#S1#2.0 ; trailing\n"
                     "Info1=" +
                         counted(300) +
                         "\n"
                         "Info2=" +
                         counted(259) +
                         "\n"
                         "Info3=" +
                         counted(260) +
                         "\n"
                         "Info4=\"A#S1#1.0;B#S1#2.0\"\n"
                         "Empty=\n"
                         "Count=2\n"
                         "CountNeg=-3\n"
                         "CountText=abc\n"
                         "CountLead=12abc\n"
                         "CountSpace=   7   \n"
                         "CountPlus=+4\n"
                         "CountHex=0x1A\n"
                         "CountEmpty=\n"
                         "CountZero=0\n"},
        {"crlf.ini", "\xEF\xBB\xBF[RegPath]\r\nCount=3\r\nPath0=Software\\Crlf\r\n"},
        {"spaced.ini", "  [ RegPath ]  \nCount = 4\n[SRInfo]\nCount=5\n"},
        {"utf16le.ini", utf16("[RegPath]\r\nCount=6\r\nPath0=Software\\Wide\r\n", false)},
        {"utf16be.ini", utf16("[RegPath]\r\nCount=7\r\n", true)},
        {"duplicates.ini", "[RegPath]\nCount=1\nCount=2\n[SRInfo]\nSRNo=A\n[RegPath]\nPath0=Software\\Later\n"},
    };
    return files;
}

struct ProfileCase {
    const char* what; // test name
    const char* file;
    const char* section;
    const char* key;
    bool bInt;
    int defInt;
    const char* defText;
    int expectInt;
    std::string expectText;
};

ProfileCase text(const char* what, const char* file, const char* section, const char* key, std::string expect,
                 const char* def = "")
{
    return ProfileCase{what, file, section, key, false, 0, def, 0, std::move(expect)};
}

ProfileCase integer(const char* what, const char* file, const char* section, const char* key, int expect, int def = 0)
{
    return ProfileCase{what, file, section, key, true, def, "", expect, std::string()};
}

std::vector<ProfileCase> profileCases()
{
    return {
        text("PlainValue", "main.ini", "RegPath", "Path0", "Software\\Ombrel\\DiscStudio"),
        text("NamesIgnoreCase", "main.ini", "REGPATH", "pAtH0", "Software\\Ombrel\\DiscStudio"),
        text("ValueTrimmedInnerSpaceKept", "main.ini", "RegPath", "Check0", "OmbrelDiscStudio 4.0"),
        text("TabsTrimmed", "main.ini", "RegPath", "NoVerCheck0", "1"),
        text("SpacesTrimmed", "main.ini", "RegPath", "NoVerCheck1", "1"),
        text("LeadingZeroKept", "main.ini", "RegPath", "NoVerCheck2", "01"),
        text("WordKept", "main.ini", "RegPath", "NoVerCheck3", "yes"),
        text("CommentLineIgnored", "main.ini", "RegPath", "Path1", ""),
        text("CommentLineGivesDefault", "main.ini", "RegPath", "Path1", "dflt", "dflt"),
        text("IndentedCommentIgnored", "main.ini", "RegPath", "NoVerCheck4", ""),
        text("IndexNotAPrefix", "main.ini", "RegPath", "Path10", "Software\\Ten"),
        text("KeyWithoutEqualsGivesDefault", "main.ini", "RegPath", "Path2", "dflt", "dflt"),
        text("MissingKeyGivesDefault", "main.ini", "RegPath", "Path3", "dflt", "dflt"),
        text("MissingKeyEmpty", "main.ini", "RegPath", "Path3", ""),
        text("MissingSectionGivesDefault", "main.ini", "NoSuch", "Path0", "dflt", "dflt"),
        text("MissingFileGivesDefault", "absent.ini", "RegPath", "Path0", "dflt", "dflt"),
        text("KeyInOtherSectionNotSeen", "main.ini", "SRInfo", "Path0", ""),
        text("OtherKeyPresent", "main.ini", "SRInfo", "PID", "417"),
        text("SRNo", "main.ini", "SRInfo", "SRNo", "OMS240118-02"),
        text("EqualsInsideValueKept", "main.ini", "SRInfo", "URL", "http://update.example/patch/417?lang=en"),
        text("SemicolonInsideValueKept", "main.ini", "SRInfo", "Info0", "A#S1#1.0;B#S1#2.0 ; trailing"),
        text("LongValueCutAfter259", "main.ini", "SRInfo", "Info1", counted(259)),
        text("Value259Whole", "main.ini", "SRInfo", "Info2", counted(259)),
        text("Value260CutAfter259", "main.ini", "SRInfo", "Info3", counted(259)),
        text("QuotesRemoved", "main.ini", "SRInfo", "Info4", "A#S1#1.0;B#S1#2.0"),
        text("EmptyValueIsNotMissing", "main.ini", "SRInfo", "Empty", "", "dflt"),
        text("CrLfAndByteOrderMark", "crlf.ini", "RegPath", "Path0", "Software\\Crlf"),
        integer("IntPlain", "main.ini", "SRInfo", "Count", 2),
        integer("IntKeyBeforeAnySectionNotSeen", "main.ini", "NoSuch", "Count", 0),
        integer("IntRegPath", "main.ini", "RegPath", "Count", 2),
        integer("IntNegative", "main.ini", "SRInfo", "CountNeg", -3),
        integer("IntNotANumberIsZero", "main.ini", "SRInfo", "CountText", 0, 5),
        integer("IntLeadingDigits", "main.ini", "SRInfo", "CountLead", 12),
        integer("IntTrimmed", "main.ini", "SRInfo", "CountSpace", 7),
        integer("IntPlusSign", "main.ini", "SRInfo", "CountPlus", 4),
        integer("IntHex", "main.ini", "SRInfo", "CountHex", 26),
        integer("IntEmptyGivesDefault", "main.ini", "SRInfo", "CountEmpty", 5, 5),
        integer("IntZero", "main.ini", "SRInfo", "CountZero", 0, 5),
        integer("IntMissingKeyGivesDefault", "main.ini", "SRInfo", "Nothing", 5, 5),
        integer("IntMissingSectionGivesDefault", "main.ini", "Nothing", "Count", 5, 5),
        integer("IntMissingFileGivesDefault", "absent.ini", "RegPath", "Count", 5, 5),
        integer("IntCrLfAndByteOrderMark", "crlf.ini", "RegPath", "Count", 3),
        text("Utf16LittleEndian", "utf16le.ini", "RegPath", "Path0", "Software\\Wide"),
        integer("IntUtf16LittleEndian", "utf16le.ini", "RegPath", "Count", 6),
        integer("IntUtf16BigEndian", "utf16be.ini", "RegPath", "Count", 7),
        integer("DuplicateKeyFirstCounts", "duplicates.ini", "RegPath", "Count", 1),
        text("OnlyFirstSectionOfANameSearched", "duplicates.ini", "RegPath", "Path0", ""),
        integer("IntSectionNameTrimmed", "spaced.ini", "RegPath", "Count", 4),
        integer("IntAfterSpacedSection", "spaced.ini", "SRInfo", "Count", 5),
    };
}

void PrintTo(const ProfileCase& c, std::ostream* os)
{
    *os << c.what;
}

class ProfileConformance : public ::testing::TestWithParam<ProfileCase> {
protected:
    static void SetUpTestSuite()
    {
        s_dir = std::make_unique<TempDir>();
        for (const ProfileFile& f : profileFiles())
            s_dir->write(f.name, f.bytes);
    }
    static void TearDownTestSuite() { s_dir.reset(); }

    static std::unique_ptr<TempDir> s_dir;
};

std::unique_ptr<TempDir> ProfileConformance::s_dir;

TEST_P(ProfileConformance, ReadsAsThePlatformDoes)
{
    const ProfileCase& c = GetParam();
    const std::string path = s_dir->file(c.file);
    const IProfileReader& reader = readerUnderTest();
    if (c.bInt) {
        EXPECT_EQ(reader.getInt(c.section, c.key, c.defInt, path.c_str()), c.expectInt);
    } else {
        char buffer[260];
        std::fill(buffer, buffer + sizeof buffer, '\x7f');
        reader.getString(c.section, c.key, c.defText, buffer, sizeof buffer, path.c_str());
        EXPECT_EQ(std::string(buffer), c.expectText);
    }
}

INSTANTIATE_TEST_SUITE_P(Table, ProfileConformance, ::testing::ValuesIn(profileCases()),
                         [](const ::testing::TestParamInfo<ProfileCase>& tpi) { return std::string(tpi.param.what); });

// A buffer smaller than the value: cut to size - 1 and terminated, nothing
// written past it.
TEST(ProfileConformanceBuffer, SmallBufferCutAndTerminated)
{
    TempDir dir;
    const std::string path = dir.write("small.ini", "[SRInfo]\nSRNo=OMS240118-02\n");
    char buffer[8];
    std::fill(buffer, buffer + sizeof buffer, '\x7f');
    readerUnderTest().getString("SRInfo", "SRNo", "", buffer, 5, path.c_str());
    EXPECT_EQ(std::string(buffer), "OMS2");
    EXPECT_EQ(buffer[5], '\x7f');
}

} // namespace
