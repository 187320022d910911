// The string tables as Veldrun.exe carries them, and loadLangString reading
// them in the user's language. Environment:
//   VELDRUN_EXE          the built Veldrun.exe (a Unix path is taken on drive Z:)
//   VELDRUN_EXPECT_LANG  the table that should answer the user's language, e.g. 0x407
#include "update/LangString.h"

#include "resource.h"
#include "update/StringBlock.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

const WORD kLanguages[] = {0x404, 0x405, 0x406, 0x407, 0x408, 0x409, 0x40A, 0x40B, 0x40C, 0x40E, 0x410, 0x411,
                           0x412, 0x413, 0x414, 0x415, 0x416, 0x419, 0x41B, 0x41D, 0x41F, 0x804, 0x816, 0xC0A};
constexpr WORD kEnglish = 0x409;
constexpr unsigned kMessageBlock = 7;
constexpr unsigned kFirstId = IDS_ABOUTBOX;
constexpr unsigned kLastId = IDS_ALREADY_APPLIED;
constexpr std::size_t kMaxUnits = 128;

struct Text {
    WORD lang;
    unsigned id;
    const wchar_t* text;
};

// The English table as it is, and texts fixed for other languages.
const Text kFixedTexts[] = {
    {kEnglish, IDS_ABOUTBOX, L"&About Veldrun..."},
    {kEnglish, IDS_PRODUCT_ERROR, L"PRODUCT ERROR: Please check if your current product installation is correct."},
    {kEnglish, IDS_PATCH_ERROR, L"PATCH ERROR: The update cannot be installed on your computer."},
    {kEnglish, IDS_SERVER_ERROR, L"SERVER ERROR: The update cannot be downloaded from the server."},
    {kEnglish, IDS_RETRIEVING, L"Retrieving current product info..."},
    {kEnglish, IDS_CONNECTING, L"Connecting to server..."},
    {kEnglish, IDS_DOWNLOADING, L"Downloading latest update..."},
    {kEnglish, IDS_CANCEL, L"Cancel"},
    {kEnglish, IDS_ALREADY_APPLIED,
     L"The update has already been applied and your product is up-to-date. This tool will now close."},
    {0x407, IDS_CANCEL, L"Abbrechen"},
    {0x40C, IDS_CANCEL, L"Annuler"},
    {0x411, IDS_CANCEL, L"キャンセル"},
    {0x419, IDS_CANCEL, L"Отмена"},
    {0x404, IDS_CANCEL, L"取消"},
    {0x804, IDS_CANCEL, L"取消"},
    {0x407, IDS_CONNECTING, L"Mit dem Server verbinden"},
    {0x40C, IDS_CONNECTING, L"Connexion au serveur..."},
};

// Error texts fixed by their labels only.
const Text kKnownLabels[] = {
    {0x407, IDS_PRODUCT_ERROR, L"PRODUKTFEHLER:"},
    {0x407, IDS_PATCH_ERROR, L"PATCH FEHLER:"},
    {0x407, IDS_SERVER_ERROR, L"SERVER FEHLER:"},
};

std::wstring hexLang(WORD lang)
{
    wchar_t buf[8];
    swprintf(buf, 8, L"0x%X", lang);
    return buf;
}

std::string narrow(const std::wstring& s)
{
    std::string out(s.size() * 3 + 1, '\0');
    int n = WideCharToMultiByte(CP_UTF8, 0, s.c_str(), static_cast<int>(s.size()), &out[0],
                                static_cast<int>(out.size()), nullptr, nullptr);
    out.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    return out;
}

// Block 7 of one language, exactly as the module stores it.
std::vector<unsigned char> readBlock(HMODULE module, WORD lang)
{
    HRSRC res = FindResourceExW(module, MAKEINTRESOURCEW(6) /* RT_STRING */, MAKEINTRESOURCEW(kMessageBlock), lang);
    HGLOBAL mem = res ? LoadResource(module, res) : nullptr;
    const auto* data = mem ? static_cast<const unsigned char*>(LockResource(mem)) : nullptr;
    if (!data)
        return {};
    return std::vector<unsigned char>(data, data + SizeofResource(module, res));
}

// The string at `id` of a block; empty when the entry is empty.
std::wstring blockString(const std::vector<unsigned char>& block, unsigned id)
{
    wchar_t buf[kMaxText] = {};
    copyBlockString(block.data(), block.size(), stringBlockPosition(id), buf, kMaxText);
    return buf;
}

HMODULE veldrunExe()
{
    static HMODULE module = [] {
        wchar_t path[MAX_PATH] = {};
        DWORD n = GetEnvironmentVariableW(L"VELDRUN_EXE", path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH)
            return HMODULE(nullptr);
        std::wstring full = path;
        if (full[0] == L'/')
            full = L"Z:" + full;
        return LoadLibraryExW(full.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    }();
    return module;
}

BOOL CALLBACK collectLanguage(HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR param)
{
    reinterpret_cast<std::set<WORD>*>(param)->insert(lang);
    return TRUE;
}

BOOL CALLBACK collectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param)
{
    reinterpret_cast<std::set<ULONG_PTR>*>(param)->insert(reinterpret_cast<ULONG_PTR>(name));
    return TRUE;
}

class VeldrunStrings : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(veldrunExe()) << "VELDRUN_EXE must name the built Veldrun.exe"; }
};

TEST_F(VeldrunStrings, HoldsBlockSevenInExactlyTheTwentyFourLanguages)
{
    std::set<WORD> langs;
    EnumResourceLanguagesW(veldrunExe(), MAKEINTRESOURCEW(6), MAKEINTRESOURCEW(kMessageBlock), collectLanguage,
                           reinterpret_cast<LONG_PTR>(&langs));
    EXPECT_EQ(langs, std::set<WORD>(std::begin(kLanguages), std::end(kLanguages)));

    std::set<ULONG_PTR> blocks;
    EnumResourceNamesW(veldrunExe(), MAKEINTRESOURCEW(6), collectName, reinterpret_cast<LONG_PTR>(&blocks));
    EXPECT_EQ(blocks, std::set<ULONG_PTR>{kMessageBlock}) << "the message strings are the only string block";
}

TEST_F(VeldrunStrings, EveryTableHoldsTheNineStringsAndNothingElse)
{
    const std::vector<unsigned char> english = readBlock(veldrunExe(), kEnglish);
    for (WORD lang : kLanguages) {
        SCOPED_TRACE(narrow(L"language " + hexLang(lang)));
        const std::vector<unsigned char> block = readBlock(veldrunExe(), lang);
        ASSERT_FALSE(block.empty());
        for (unsigned id = kMessageBlock * 16 - 16; id < kMessageBlock * 16; ++id) {
            const std::wstring s = blockString(block, id);
            if (id < kFirstId || id > kLastId) {
                EXPECT_TRUE(s.empty()) << "id " << id << " should be absent";
                continue;
            }
            ASSERT_FALSE(s.empty()) << "id " << id;
            EXPECT_LE(s.size(), kMaxUnits) << "id " << id;
            EXPECT_FALSE(iswspace(s.front()) || iswspace(s.back())) << "id " << id << " has outer blanks";
            if (id == IDS_ABOUTBOX) {
                EXPECT_EQ(s, L"&About Veldrun...");
            } else if (lang != kEnglish) {
                EXPECT_NE(s, blockString(english, id)) << "id " << id << " is not translated";
            }
        }
        const std::wstring closing = blockString(block, IDS_ALREADY_APPLIED);
        EXPECT_TRUE(closing.back() == L'.' || closing.back() == L'\x3002') << narrow(closing);
    }
}

// "PRODUCT ERROR:", "제품 오류:", "产品错误：": a label without lower-case
// letters, its colon, then the message.
TEST_F(VeldrunStrings, ErrorTextsBeginWithTheirLabelAndAColon)
{
    for (WORD lang : kLanguages) {
        SCOPED_TRACE(narrow(L"language " + hexLang(lang)));
        const std::vector<unsigned char> block = readBlock(veldrunExe(), lang);
        std::set<std::wstring> labels;
        for (unsigned id : {IDS_PRODUCT_ERROR, IDS_PATCH_ERROR, IDS_SERVER_ERROR}) {
            const std::wstring s = blockString(block, id);
            const std::size_t colon = s.find_first_of(L":\xFF1A");
            ASSERT_NE(colon, std::wstring::npos) << narrow(s);
            const std::wstring label = s.substr(0, colon);
            ASSERT_FALSE(label.empty()) << narrow(s);
            EXPECT_LE(label.size(), 24u) << narrow(s);
            EXPECT_TRUE(std::none_of(label.begin(), label.end(), [](wchar_t c) { return IsCharLowerW(c); }))
                << narrow(label);
            EXPECT_GT(s.size(), colon + 2) << "no message after the label: " << narrow(s);
            labels.insert(label);
        }
        EXPECT_EQ(labels.size(), 3u) << "the three errors need three labels";
    }
}

TEST_F(VeldrunStrings, CarriesTheFixedTexts)
{
    for (const Text& t : kFixedTexts)
        EXPECT_EQ(blockString(readBlock(veldrunExe(), t.lang), t.id), t.text)
            << "language " << narrow(hexLang(t.lang)) << ", id " << t.id;
    for (const Text& t : kKnownLabels) {
        const std::wstring s = blockString(readBlock(veldrunExe(), t.lang), t.id);
        EXPECT_EQ(s.compare(0, wcslen(t.text), t.text), 0) << narrow(s);
    }
}

TEST_F(VeldrunStrings, SpanishSortsShareOneTable)
{
    const std::vector<unsigned char> traditional = readBlock(veldrunExe(), 0x40A);
    ASSERT_FALSE(traditional.empty());
    EXPECT_EQ(traditional, readBlock(veldrunExe(), 0xC0A));
}

// loadLangString reads the test program's own resources; they must be Veldrun.exe's.
TEST_F(VeldrunStrings, TestProgramCarriesTheSameTables)
{
    for (WORD lang : kLanguages)
        EXPECT_EQ(readBlock(GetModuleHandleW(nullptr), lang), readBlock(veldrunExe(), lang))
            << "language " << narrow(hexLang(lang));
}

TEST(LoadLangString, WritesExactlyTheStringsUnits)
{
    wchar_t buf[kMaxText];
    std::fill(std::begin(buf), std::end(buf), L'#');
    ASSERT_EQ(loadLangString(IDS_ABOUTBOX, buf), 1);
    const std::wstring about = L"&About Veldrun...";
    EXPECT_EQ(std::wstring(buf, about.size()), about);
    EXPECT_TRUE(std::all_of(buf + about.size(), std::end(buf), [](wchar_t c) { return c == L'#'; }))
        << "no terminator, nothing after the string";

    for (unsigned id = kFirstId; id <= kLastId; ++id) {
        wchar_t zeroed[kMaxText] = {};
        EXPECT_EQ(loadLangString(id, zeroed), 1) << id;
        EXPECT_GT(wcslen(zeroed), 0u) << id;
    }
}

TEST(LoadLangString, AbsentStringsLeaveTheBufferUntouched)
{
    for (unsigned id : {0u, 90u, 95u, 96u, 100u, 110u, 111u, 112u, 0xFFFF0u, 0xFFFFFFFFu}) {
        wchar_t buf[kMaxText];
        std::fill(std::begin(buf), std::end(buf), L'#');
        EXPECT_EQ(loadLangString(id, buf), 0) << id;
        EXPECT_TRUE(std::all_of(std::begin(buf), std::end(buf), [](wchar_t c) { return c == L'#'; })) << id;
    }
}

TEST(LoadLangString, FollowsTheUserLanguage)
{
    const char* want = std::getenv("VELDRUN_EXPECT_LANG");
    if (!want) {
        GTEST_SKIP() << "VELDRUN_EXPECT_LANG names the table the user's language should get";
    }
    const WORD lang = static_cast<WORD>(std::strtoul(want, nullptr, 16));
    SCOPED_TRACE(testing::Message() << "user UI language " << narrow(hexLang(GetUserDefaultUILanguage()))
                                    << ", expected table " << narrow(hexLang(lang)));
    const std::vector<unsigned char> table = readBlock(GetModuleHandleW(nullptr), lang);
    ASSERT_FALSE(table.empty());
    for (unsigned id = kFirstId; id <= kLastId; ++id) {
        wchar_t buf[kMaxText] = {};
        EXPECT_EQ(loadLangString(id, buf), 1) << id;
        EXPECT_EQ(std::wstring(buf), blockString(table, id)) << id;
    }
    for (const Text& t : kFixedTexts) {
        if (t.lang != lang)
            continue;
        wchar_t buf[kMaxText] = {};
        loadLangString(t.id, buf);
        EXPECT_STREQ(buf, t.text);
    }
}

} // namespace
