#include "common/Trace.h"
#include "products/ProductProbe.h"
#include "products/TableRegistry.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace {

struct CleanCase {
    const char* raw;
    const char* cleaned;
};

class CleanName : public ::testing::TestWithParam<CleanCase> {};

TEST_P(CleanName, RemovesSpacesThenReplacesAmpersands)
{
    char name[260];
    std::snprintf(name, sizeof name, "%s", GetParam().raw);
    cleanProductName(name);
    EXPECT_STREQ(name, GetParam().cleaned);
}

INSTANTIATE_TEST_SUITE_P(Table, CleanName,
                         ::testing::Values(CleanCase{"Tape & Tune", "Tape_Tune"}, CleanCase{"A&B", "A_B"},
                                           CleanCase{"Ombrel Disc Studio", "OmbrelDiscStudio"},
                                           CleanCase{"Two  Words", "TwoWords"},
                                           CleanCase{" lead&&trail ", "lead__trail"},
                                           CleanCase{"Tab\tName", "Tab\tName"}, CleanCase{"   ", ""},
                                           CleanCase{"", ""}));

struct Probe {
    int result;
    char name[260] = {};
    char ver[260] = {};
    char srNo[260] = {};
    char srVer[260] = {};
};

class ProductProbe : public ::testing::Test {
protected:
    void SetUp() override { traceClear(); }

    void install(const char* name, const char* ver, const char* srNo, const char* srVer)
    {
        m_registry.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Name", name);
        m_registry.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Ver", ver);
        m_registry.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_No", srNo);
        m_registry.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_Ver", srVer);
    }

    Probe probe(const char* path)
    {
        Probe p;
        p.result = getProductInfo(m_registry, path, p.name, p.ver, p.srNo, p.srVer);
        EXPECT_EQ(m_registry.openCount(), 0) << "a key was left open";
        return p;
    }

    CTableRegistry m_registry;
};

TEST_F(ProductProbe, FoundProductTracesItsValues)
{
    install("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870");
    Probe p = probe("Software\\Ombrel\\TapeTune");
    EXPECT_EQ(p.result, 1);
    EXPECT_STREQ(p.name, "Tape_Tune");
    EXPECT_STREQ(p.ver, "2.5");
    EXPECT_STREQ(p.srNo, "OMS230910-01");
    EXPECT_STREQ(p.srVer, "2.50.1870");
    EXPECT_EQ(traceCaptured(), "[Veldrun] getProductInfo => \nPath: Software\\Ombrel\\TapeTune\n, "
                               "ProdName: Tape_Tune\n, ProdVer: 2.5\n, SRNo: OMS230910-01\n, SRVer: 2.50.1870\n");
}

TEST_F(ProductProbe, KeyPathCaseDoesNotMatter)
{
    install("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870");
    EXPECT_EQ(probe("SOFTWARE\\OMBREL\\TAPETUNE").result, 1);
}

TEST_F(ProductProbe, MissingUserRegEndsWithoutTrace)
{
    m_registry.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_No", "OMS230910-01");
    m_registry.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_Ver", "2.50.1870");
    Probe p = probe("Software\\Ombrel\\TapeTune");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.srNo, "");
    EXPECT_EQ(traceCaptured(), "");
}

TEST_F(ProductProbe, MissingBuildInfoEndsWithoutTraceKeepingNameAndVersion)
{
    m_registry.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Name", "Tape & Tune");
    m_registry.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Ver", "2.5");
    Probe p = probe("Software\\Ombrel\\TapeTune");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.name, "Tape_Tune");
    EXPECT_STREQ(p.ver, "2.5");
    EXPECT_EQ(traceCaptured(), "");
}

TEST_F(ProductProbe, MissingOrEmptyValueIsNotFoundButTraced)
{
    for (bool present : {false, true}) {
        CTableRegistry& r = m_registry;
        r.removeKey("Software");
        traceClear();
        r.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Name", "Tape & Tune");
        r.setString("Software\\Ombrel\\TapeTune\\UserReg", "Prod_Ver", "2.5");
        r.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_No", "OMS230910-01");
        if (present)
            r.setString("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_Ver", "");
        Probe p = probe("Software\\Ombrel\\TapeTune");
        EXPECT_EQ(p.result, 0);
        EXPECT_EQ(traceCaptured(), "[Veldrun] getProductInfo => \nPath: Software\\Ombrel\\TapeTune\n, "
                                   "ProdName: Tape_Tune\n, ProdVer: 2.5\n, SRNo: OMS230910-01\n, SRVer: \n");
    }
}

TEST_F(ProductProbe, EmptyPathIsNotFound)
{
    install("Tape & Tune", "2.5", "OMS230910-01", "2.50.1870");
    m_registry.addKey("UserReg"); // a key at the root is not "\UserReg"
    EXPECT_EQ(probe("").result, 0);
}

TEST_F(ProductProbe, LongOrNonStringValueReadsAsMissing)
{
    install("Tape & Tune", "2.5", "OMS230910-01", std::string(260, '9').c_str());
    m_registry.setOther("Software\\Ombrel\\TapeTune\\BuildInfo", "SR_No");
    Probe p = probe("Software\\Ombrel\\TapeTune");
    EXPECT_EQ(p.result, 0);
    EXPECT_STREQ(p.srNo, "");
    EXPECT_STREQ(p.srVer, "");

    install("Tape & Tune", "2.5", "OMS230910-01", std::string(259, '9').c_str());
    p = probe("Software\\Ombrel\\TapeTune");
    EXPECT_EQ(p.result, 1);
    EXPECT_EQ(std::string(p.srVer), std::string(259, '9'));
}

// A registry whose reads fail by throwing: the probe's keys are closed on
// the way out all the same.
class CThrowingRegistry : public CTableRegistry {
public:
    bool queryString(Key, const char*, char*, unsigned) override { throw std::runtime_error("read failed"); }
};

TEST(ProductProbeUnwinding, ClosesItsKeyWhenUnwound)
{
    CThrowingRegistry registry;
    registry.addKey("Software\\Ombrel\\TapeTune\\UserReg");
    char name[260] = {}, ver[260] = {}, srNo[260] = {}, srVer[260] = {};
    EXPECT_THROW(getProductInfo(registry, "Software\\Ombrel\\TapeTune", name, ver, srNo, srVer), std::runtime_error);
    EXPECT_EQ(registry.openCount(), 0);
}

} // namespace
