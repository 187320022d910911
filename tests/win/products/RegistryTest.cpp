// The probe, the check and the selection against the platform's registry and
// profile reader: real keys written below the local-machine key
// Software\VeldrunTest in the 32-bit view (the one the program reads, from
// either build) and removed again.

#include "TestFiles.h"
#include "OmbrelExample.h"

#include "products/ProductCheck.h"
#include "products/ProductProbe.h"
#include "products/Profile.h"
#include "products/Registry.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

const char kRoot[] = "Software\\VeldrunTest";

// The test's keys: none before, none after, in either view.
class RealRegistry : public ::testing::Test {
protected:
    void SetUp() override { removeRoot(); }
    void TearDown() override
    {
        removeRoot();
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY key = nullptr;
            EXPECT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRoot, 0, KEY_READ | view, &key), ERROR_SUCCESS)
                << "keys left behind";
            if (key)
                RegCloseKey(key);
        }
    }

    static void removeRoot()
    {
        for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) {
            HKEY software = nullptr;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS | view, &software) == ERROR_SUCCESS) {
                RegDeleteTreeA(software, "VeldrunTest");
                RegCloseKey(software);
            }
        }
    }

    // Writes one value of any type below kRoot\sub, creating the keys. The
    // bytes are stored as they are: the platform counts a terminator that
    // the caller left out of cb when one follows the data, so a byte that is
    // not zero follows them here.
    static void setValue(const std::string& sub, const char* name, DWORD type, const void* data, DWORD cb,
                         REGSAM view = KEY_WOW64_32KEY)
    {
        std::string bytes(static_cast<const char*>(data), cb);
        bytes += 'X';
        const std::string path = std::string(kRoot) + "\\" + sub;
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_WRITE | view, nullptr, &key, nullptr),
            ERROR_SUCCESS)
            << path;
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), cb), ERROR_SUCCESS)
            << name;
        RegCloseKey(key);
    }

    static void setString(const std::string& sub, const char* name, const char* text, REGSAM view = KEY_WOW64_32KEY)
    {
        setValue(sub, name, REG_SZ, text, static_cast<DWORD>(std::strlen(text) + 1), view);
    }

    static void install(const InstalledProduct& p, REGSAM view = KEY_WOW64_32KEY)
    {
        const std::string sub = p.subPath;
        setString(sub + "\\UserReg", "Prod_Name", p.prodName, view);
        setString(sub + "\\UserReg", "Prod_Ver", p.prodVer, view);
        setString(sub + "\\BuildInfo", "SR_No", p.srNo, view);
        setString(sub + "\\BuildInfo", "SR_Ver", p.srVer, view);
    }
};

// ------------------------------------------------------------ Ombrel example

class OmbrelExampleWin : public RealRegistry, public ::testing::WithParamInterface<OmbrelExampleState> {};

TEST_P(OmbrelExampleWin, DecidesAsTheExampleSays)
{
    const OmbrelExampleState& state = GetParam();
    for (const InstalledProduct& p : state.products)
        if (p.prodName)
            install(p);
    TempDir dir;
    const std::string ini = dir.write("patch.ini", ombrelExampleIni(kRoot));

    std::vector<ProductInfo> products;
    ASSERT_EQ(checkProducts(ini.c_str(), products), state.check);
    ASSERT_EQ(products.size(), 2u);
    if (state.check != 1)
        return;
    char url[260] = {};
    char srNo[260] = {};
    platformProfile().getString("SRInfo", "URL", "", url, sizeof url, ini.c_str());
    platformProfile().getString("SRInfo", "SRNo", "", srNo, sizeof srNo, ini.c_str());
    EXPECT_STREQ(url, "http://update.example/patch/417");
    EXPECT_STREQ(srNo, "OMS240118-02");
    EXPECT_EQ(platformProfile().getInt("SRInfo", "Count", 0, ini.c_str()), 2);
    EXPECT_EQ(getSRIdFromFile(ini.c_str(), products, srNo), state.srId);
}

} // namespace

void PrintTo(const OmbrelExampleState& s, std::ostream* os)
{
    *os << s.what;
}

namespace {

INSTANTIATE_TEST_SUITE_P(States, OmbrelExampleWin, ::testing::ValuesIn(ombrelExampleStates()),
                         [](const ::testing::TestParamInfo<OmbrelExampleState>& tpi) {
                             return std::string(tpi.param.what);
                         });

// The 32-bit view only, from either build: a product whose keys exist in
// the 64-bit view alone is not installed for the program.
TEST_F(RealRegistry, ReadsThe32BitViewOnly)
{
    const InstalledProduct& tape = ombrelExampleStates()[0].products[1];
    install(tape, KEY_WOW64_64KEY);
    char name[260] = {}, ver[260] = {}, srNo[260] = {}, srVer[260] = {};
    const std::string path = std::string(kRoot) + "\\" + tape.subPath;
    EXPECT_EQ(getProductInfo(path.c_str(), name, ver, srNo, srVer), 0);
    install(tape, KEY_WOW64_32KEY);
    EXPECT_EQ(getProductInfo(path.c_str(), name, ver, srNo, srVer), 1);
    EXPECT_STREQ(name, "Tape_Tune");
}

TEST_F(RealRegistry, KeyPathCaseDoesNotMatter)
{
    install(ombrelExampleStates()[0].products[1]);
    char name[260] = {}, ver[260] = {}, srNo[260] = {}, srVer[260] = {};
    EXPECT_EQ(getProductInfo("SOFTWARE\\VELDRUNTEST\\tapetune", name, ver, srNo, srVer), 1);
    EXPECT_STREQ(name, "Tape_Tune");
}

// ------------------------------------------------------------ odd values

struct OddValue {
    const char* what;
    DWORD type;
    std::string bytes; // stored as they are, terminator included or not
    bool bRead;        // read as a text
};

void PrintTo(const OddValue& v, std::ostream* os)
{
    *os << v.what;
}

class OddValues : public RealRegistry, public ::testing::WithParamInterface<OddValue> {};

TEST_P(OddValues, ReadOnlyAsATerminatedStringThatFits)
{
    const OddValue& v = GetParam();
    setString("P\\UserReg", "Prod_Name", "Tape & Tune");
    setString("P\\UserReg", "Prod_Ver", "2.5");
    setString("P\\BuildInfo", "SR_No", "OMS230910-01");
    setValue("P\\BuildInfo", "SR_Ver", v.type, v.bytes.data(), static_cast<DWORD>(v.bytes.size()));
    const std::string expected = v.bRead ? std::string(v.bytes.c_str()) : std::string();

    char name[260] = {}, ver[260] = {}, srNo[260] = {}, srVer[260] = {};
    const std::string path = std::string(kRoot) + "\\P";
    EXPECT_EQ(getProductInfo(path.c_str(), name, ver, srNo, srVer), v.bRead && !expected.empty() ? 1 : 0);
    EXPECT_EQ(std::string(srVer), expected);

    // A value that is not read leaves the buffer as it was.
    IRegistry& registry = platformRegistry();
    IRegistry::Key key = nullptr;
    const std::string buildInfo = path + "\\BuildInfo";
    ASSERT_TRUE(registry.openKey(buildInfo.c_str(), key));
    char buffer[260] = "keep";
    EXPECT_EQ(registry.queryString(key, "SR_Ver", buffer, sizeof buffer), v.bRead);
    EXPECT_EQ(std::string(buffer), v.bRead ? expected : std::string("keep"));
    registry.closeKey(key);
}

std::string withNul(const std::string& text)
{
    return text + std::string(1, '\0');
}

INSTANTIATE_TEST_SUITE_P(Table, OddValues,
                         ::testing::Values(OddValue{"Plain", REG_SZ, withNul("2.50.1870"), true},
                                           OddValue{"Fits259", REG_SZ, withNul(std::string(259, '7')), true},
                                           OddValue{"TooLong260", REG_SZ, withNul(std::string(260, '7')), false},
                                           OddValue{"TooLong300", REG_SZ, withNul(std::string(300, '7')), false},
                                           OddValue{"NoTerminator", REG_SZ, "2.50.1870", false},
                                           OddValue{"Empty", REG_SZ, withNul(""), true},
                                           OddValue{"NoBytes", REG_SZ, "", false},
                                           OddValue{"Expandable", REG_EXPAND_SZ, withNul("2.50.1870"), true},
                                           OddValue{"Number", REG_DWORD, std::string("\x2\0\0\0", 4), false},
                                           OddValue{"Binary", REG_BINARY, withNul("2.50.1870"), false},
                                           OddValue{"MultiString", REG_MULTI_SZ, withNul(withNul("2.50.1870")), false}),
                         [](const ::testing::TestParamInfo<OddValue>& tpi) { return std::string(tpi.param.what); });

} // namespace
