#include "TestFiles.h"
#include "OmbrelExample.h"

#include "common/Trace.h"
#include "products/IniFileReader.h"
#include "products/ProductCheck.h"
#include "products/TableRegistry.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const CIniFileReader kProfile;

void install(CTableRegistry& registry, const std::string& key, const char* name, const char* ver, const char* srNo,
             const char* srVer)
{
    registry.setString(key + "\\UserReg", "Prod_Name", name);
    registry.setString(key + "\\UserReg", "Prod_Ver", ver);
    registry.setString(key + "\\BuildInfo", "SR_No", srNo);
    registry.setString(key + "\\BuildInfo", "SR_Ver", srVer);
}

// ------------------------------------------------------------ Ombrel example

} // namespace

// Found by argument-dependent lookup, so outside the unnamed namespace.
void PrintTo(const OmbrelExampleState& s, std::ostream* os)
{
    *os << s.what;
}

namespace {

class OmbrelExample : public ::testing::TestWithParam<OmbrelExampleState> {};

TEST_P(OmbrelExample, DecidesAsTheExampleSays)
{
    const OmbrelExampleState& state = GetParam();
    TempDir dir;
    const std::string ini = dir.write("patch.ini", ombrelExampleIni("Software\\Ombrel"));
    CTableRegistry registry;
    for (const InstalledProduct& p : state.products)
        if (p.prodName)
            install(registry, std::string("Software\\Ombrel\\") + p.subPath, p.prodName, p.prodVer, p.srNo, p.srVer);

    std::vector<ProductInfo> products;
    ASSERT_EQ(checkProducts(kProfile, registry, ini.c_str(), products), state.check);
    ASSERT_EQ(products.size(), 2u);
    EXPECT_STREQ(products[0].szPath, "Software\\Ombrel\\DiscStudio");
    EXPECT_STREQ(products[1].szCheck, "Tape_Tune 2.5");
    EXPECT_STREQ(products[1].szNoVerCheck, "1");
    EXPECT_EQ(registry.openCount(), 0);
    if (state.check != 1)
        return;
    char srNo[260] = {};
    kProfile.getString("SRInfo", "SRNo", "", srNo, sizeof srNo, ini.c_str());
    EXPECT_EQ(getSRIdFromFile(kProfile, ini.c_str(), products, srNo), state.srId);
}

INSTANTIATE_TEST_SUITE_P(States, OmbrelExample, ::testing::ValuesIn(ombrelExampleStates()),
                         [](const ::testing::TestParamInfo<OmbrelExampleState>& tpi) {
                             return std::string(tpi.param.what);
                         });

// ------------------------------------------------------------ applicability

// A judged record: found or not, with its identity and its Check values.
ProductInfo record(bool found, const char* name, const char* ver, const char* check, const char* noVerCheck = "0")
{
    ProductInfo p = {};
    std::strcpy(p.szProdName, name);
    std::strcpy(p.szProdVer, ver);
    std::strcpy(p.szCheck, check);
    std::strcpy(p.szNoVerCheck, noVerCheck);
    p.bFound = found ? 1 : 0;
    return p;
}

struct JudgeCase {
    const char* what;
    std::vector<ProductInfo> products;
    int expected;
};

void PrintTo(const JudgeCase& c, std::ostream* os)
{
    *os << c.what;
}

class Judge : public ::testing::TestWithParam<JudgeCase> {};

TEST_P(Judge, GivesTheApplicabilityResult)
{
    EXPECT_EQ(judgeProducts(GetParam().products), GetParam().expected);
}

JudgeCase judgeCase(const char* what, std::vector<ProductInfo> products, int expected)
{
    return JudgeCase{what, std::move(products), expected};
}

std::vector<JudgeCase> judgeCases()
{
    // An identity of 263 characters against a Check value of its first 259.
    const std::string longName(259, 'N');
    const ProductInfo longIdentity = record(true, longName.c_str(), "4.0", longName.c_str());
    return {
        judgeCase("EmptyListIsProductError", {}, 255),
        judgeCase("AllMatch", {record(true, "A", "1.0", "A 1.0"), record(true, "B", "2.0", "B 2.0")}, 1),
        judgeCase("MismatchIsPatchError", {record(true, "A", "1.0", "A 1.0"), record(true, "B", "2.1", "B 2.0")}, 0),
        judgeCase("MissingOutweighsMismatch",
                  {record(true, "A", "1.0", "A 1.0"), record(false, "", "", "B 2.0"), record(true, "C", "9", "C 3.0")},
                  255),
        judgeCase("MismatchBeforeMissingStillProductError",
                  {record(true, "A", "9", "A 1.0"), record(false, "", "", "B 2.0")}, 255),
        judgeCase("ExemptAnyVersion", {record(true, "A", "1.0", "A 1.0"), record(true, "B", "7.7", "B 2.0", "1")}, 1),
        judgeCase("ExemptButMissing", {record(true, "A", "1.0", "A 1.0"), record(false, "", "", "B 2.0", "1")}, 255),
        judgeCase("OnlyExactOneExempts", {record(true, "B", "7.7", "B 2.0", "01")}, 0),
        judgeCase("TenDoesNotExempt", {record(true, "B", "7.7", "B 2.0", "10")}, 0),
        judgeCase("YesDoesNotExempt", {record(true, "B", "7.7", "B 2.0", "yes")}, 0),
        judgeCase("CaseIgnored", {record(true, "OmbrelDiscStudio", "4.0", "ombreldiscstudio 4.0")}, 1),
        judgeCase("SpaceMatters", {record(true, "A", "1.0", "A  1.0")}, 0),
        judgeCase("IdentityLongerThanCheckNeverEqual", {longIdentity}, 0),
        judgeCase("MismatchNotUndoneByLaterMatch", {record(true, "A", "9", "A 1.0"), record(true, "B", "2.0", "B 2.0")},
                  0),
    };
}

INSTANTIATE_TEST_SUITE_P(Table, Judge, ::testing::ValuesIn(judgeCases()),
                         [](const ::testing::TestParamInfo<JudgeCase>& tpi) { return std::string(tpi.param.what); });

// The [RegPath] forms that leave no entries.
TEST(CheckProducts, NoEntriesIsProductError)
{
    TempDir dir;
    CTableRegistry registry;
    install(registry, "Software\\A", "A", "1.0", "S1", "1");
    const char* files[] = {
        "[SRInfo]\nCount=1\n",
        "[RegPath]\nCount=0\nPath0=Software\\A\nCheck0=A 1.0\n",
        "[RegPath]\nCount=many\nPath0=Software\\A\nCheck0=A 1.0\n",
        "[RegPath]\nPath0=Software\\A\nCheck0=A 1.0\n",
    };
    for (const char* text : files) {
        const std::string ini = dir.write("patch.ini", text);
        std::vector<ProductInfo> products;
        EXPECT_EQ(checkProducts(kProfile, registry, ini.c_str(), products), 255) << text;
        EXPECT_TRUE(products.empty()) << text;
    }
    std::vector<ProductInfo> products;
    EXPECT_EQ(checkProducts(kProfile, registry, dir.file("absent.ini").c_str(), products), 255);
}

// A Count outside 0..1000 in either section is a malformed file: a patch
// error before any entry is read (10^8 entries would loop for hours, 2*10^9
// exhaust memory), traced with the key.
TEST(CheckProducts, CountOutsideTheBoundIsAPatchError)
{
    TempDir dir;
    CTableRegistry registry;
    install(registry, "Software\\A", "A", "1.0", "S1", "1");
    struct Case {
        const char* text;
        int expected;
        const char* trace;
    };
    const Case cases[] = {
        {"[RegPath]\nCount=100000000\nPath0=Software\\A\nCheck0=A 1.0\n", 0, "[RegPath] Count 100000000 outside"},
        {"[RegPath]\nCount=2000000000\n", 0, "[RegPath] Count 2000000000 outside"},
        {"[RegPath]\nCount=1001\n", 0, "[RegPath] Count 1001 outside"},
        {"[RegPath]\nCount=-1\nPath0=Software\\A\nCheck0=A 1.0\n", 0, "[RegPath] Count -1 outside"},
        {"[RegPath]\nCount=1\nPath0=Software\\A\nCheck0=A 1.0\n[SRInfo]\nCount=100000000\n", 0,
         "[SRInfo] Count 100000000 outside"},
        {"[RegPath]\nCount=1\nPath0=Software\\A\nCheck0=A 1.0\n[SRInfo]\nCount=1000\n", 1, nullptr},
        {"[RegPath]\nCount=1000\nPath0=Software\\A\nCheck0=A 1.0\n", 255, nullptr},
    };
    for (const Case& c : cases) {
        const std::string ini = dir.write("patch.ini", c.text);
        std::vector<ProductInfo> products;
        traceClear();
        EXPECT_EQ(checkProducts(kProfile, registry, ini.c_str(), products), c.expected) << c.text;
        if (c.trace) {
            EXPECT_TRUE(products.empty()) << c.text;
            EXPECT_NE(traceCaptured().find(c.trace), std::string::npos) << traceCaptured();
        }
    }
}

// Every entry gets its record in entry order, also after one not found; a
// count beyond the entries gives records with empty paths, never found.
TEST(CheckProducts, OneRecordPerEntryInOrder)
{
    TempDir dir;
    CTableRegistry registry;
    install(registry, "Software\\B", "B", "2.0", "S1", "2");
    install(registry, "Software\\C", "C", "3.0", "S1", "3");
    const std::string ini = dir.write("patch.ini", "[RegPath]\nCount=4\n"
                                                   "Path0=Software\\A\nCheck0=A 1.0\n"
                                                   "Path1=SOFTWARE\\b\nCheck1=B 2.0\nNoVerCheck1=  1  \n"
                                                   "Path2=Software\\C\nCheck2=C 3.0\n");
    std::vector<ProductInfo> products;
    EXPECT_EQ(checkProducts(kProfile, registry, ini.c_str(), products), 255);
    ASSERT_EQ(products.size(), 4u);
    EXPECT_EQ(products[0].bFound, 0);
    EXPECT_STREQ(products[0].szPath, "Software\\A");
    EXPECT_EQ(products[1].bFound, 1);
    EXPECT_STREQ(products[1].szProdName, "B");
    EXPECT_STREQ(products[1].szNoVerCheck, "1");
    EXPECT_EQ(products[2].bFound, 1);
    EXPECT_STREQ(products[2].szSRVer, "3");
    EXPECT_EQ(products[3].bFound, 0);
    EXPECT_STREQ(products[3].szPath, "");
    EXPECT_EQ(registry.openCount(), 0);
}

// ------------------------------------------------------------ selection

ProductInfo found(const char* name, const char* srNo, const char* srVer)
{
    ProductInfo p = record(true, name, "1.0", "");
    std::strcpy(p.szSRNo, srNo);
    std::strcpy(p.szSRVer, srVer);
    return p;
}

struct SelectCase {
    const char* what;
    std::string srInfo; // the [SRInfo] section's lines
    std::vector<ProductInfo> products;
    const char* srNo;
    int expected;
};

void PrintTo(const SelectCase& c, std::ostream* os)
{
    *os << c.what;
}

class Select : public ::testing::TestWithParam<SelectCase> {};

TEST_P(Select, ChoosesThePatchBuild)
{
    const SelectCase& c = GetParam();
    TempDir dir;
    const std::string ini = dir.write("patch.ini", "[SRInfo]\n" + c.srInfo);
    EXPECT_EQ(getSRIdFromFile(kProfile, ini.c_str(), c.products, c.srNo), c.expected);
}

std::vector<SelectCase> selectCases()
{
    const ProductInfo a = found("A", "S1", "1.0");
    const ProductInfo b = found("B", "S1", "2.0");
    const ProductInfo missing = record(false, "Z", "1", "");
    std::string many = "Count=1000\n";
    many += "Info999=A#S1#1.0\n";
    return {
        {"FirstEntryHoldingAllKeys", "Count=2\nInfo0=A#S1#1.0;B#S1#2.0\nInfo1=A#S1#1.0\n", {a, b}, "S9", 0},
        {"SecondEntry", "Count=2\nInfo0=A#S1#1.0;B#S0#2.0\nInfo1=X;B#S1#2.0 ;A#S1#1.0\n", {a, b}, "S9", 1},
        {"LowestIndexWins",
         "Count=3\nInfo0=nothing\nInfo1=A#S1#1.0;B#S1#2.0\nInfo2=B#S1#2.0;A#S1#1.0\n",
         {a, b},
         "S9",
         1},
        {"PlainContainmentLongerVersion", "Count=1\nInfo0=A#S1#1.05\n", {a}, "S9", 0},
        {"PlainContainmentLongerName", "Count=1\nInfo0=XA#S1#1.0\n", {a}, "S9", 0},
        {"ContainmentWithCase", "Count=1\nInfo0=a#s1#1.0\n", {a}, "S9", -1},
        // 264 characters with the key from the 256th on; then exactly 259.
        {"KeyStraddlingTheCutMissed", "Count=1\nInfo0=" + std::string(255, '-') + ";A#S1#1.0\n", {a}, "S9", -1},
        {"KeyEndingAtTheCutHeld", "Count=1\nInfo0=" + std::string(251, '-') + "A#S1#1.0\n", {a}, "S9", 0},
        {"Info999IsAlreadyApplied", many, {a}, "S9", 999},
        {"NoMatchAllCarrySrNoAlreadyApplied", "Count=1\nInfo0=other\n", {a, b}, "S1", 999},
        {"NoMatchOneLacksSrNoGeneric", "Count=1\nInfo0=other\n", {found("A", "S2", "1.0"), b}, "S2", -1},
        {"SrNoInsideNameCounts", "Count=0\n", {found("S2Tool", "S1", "1.0")}, "S2", 999},
        {"EmptySrNoAlreadyApplied", "Count=1\nInfo0=other\n", {a, b}, "", 999},
        {"MissingCountNoCandidates", "Info0=A#S1#1.0\n", {a}, "S1", 999},
        {"MissingCountGeneric", "Info0=A#S1#1.0\n", {a}, "S2", -1},
        {"MissingInfoMatchesNothing", "Count=3\nInfo0=B#S1#2.0\n", {a}, "S2", -1},
        {"NoFoundProductGeneric", "Count=1\nInfo0=A#S1#1.0\n", {missing}, "", -1},
        {"NotFoundRecordsLeftOut", "Count=1\nInfo0=A#S1#1.0\n", {missing, a}, "S9", 0},
    };
}

INSTANTIATE_TEST_SUITE_P(Table, Select, ::testing::ValuesIn(selectCases()),
                         [](const ::testing::TestParamInfo<SelectCase>& tpi) { return std::string(tpi.param.what); });

} // namespace
