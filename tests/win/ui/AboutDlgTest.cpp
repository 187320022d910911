#include "ui/AboutDlg.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// ------------------------------------------------------ the template itself

// Reads a classic (not extended) dialog template.
class CTemplateReader {
public:
    explicit CTemplateReader(const void* p) : m_p(static_cast<const uint8_t*>(p)) {}
    uint16_t word()
    {
        uint16_t v = static_cast<uint16_t>(m_p[0] | (m_p[1] << 8));
        m_p += 2;
        return v;
    }
    uint32_t dword()
    {
        uint32_t lo = word();
        return lo | (static_cast<uint32_t>(word()) << 16);
    }
    int16_t shortValue() { return static_cast<int16_t>(word()); }
    std::wstring text()
    {
        std::wstring s;
        for (uint16_t c = word(); c; c = word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    // A name or an ordinal: an ordinal reads as "#n".
    std::wstring nameOrOrdinal()
    {
        uint16_t first = word();
        if (first == 0xFFFF)
            return L"#" + std::to_wstring(word());
        std::wstring s;
        for (uint16_t c = first; c; c = word())
            s += static_cast<wchar_t>(c);
        return s;
    }
    void alignDword(const void* base)
    {
        auto off = static_cast<size_t>(m_p - static_cast<const uint8_t*>(base));
        m_p += (4 - off % 4) % 4;
    }

private:
    const uint8_t* m_p;
};

struct ItemSpec {
    int id;
    const wchar_t* cls; // class atom as "#n"
    const wchar_t* text;
    DWORD style;
    short x, y, cx, cy;
};

TEST(AboutTemplate, IsTheClassicTemplateWithItsStylesFontAndControls)
{
    HRSRC res = FindResourceW(nullptr, MAKEINTRESOURCEW(IDD_ABOUTBOX), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    ASSERT_TRUE(res);
    const void* base = LockResource(LoadResource(nullptr, res));
    ASSERT_TRUE(base);
    CTemplateReader r(base);
    DWORD style = r.dword();
    EXPECT_NE(style & 0xFFFF, 0xFFFFu) << "a classic template, not an extended one";
    EXPECT_EQ(style, static_cast<DWORD>(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT));
    EXPECT_EQ(r.dword(), 0u) << "no extended style";
    uint16_t count = r.word();
    EXPECT_EQ(r.shortValue(), 0);
    EXPECT_EQ(r.shortValue(), 0);
    EXPECT_EQ(r.shortValue(), 235);
    EXPECT_EQ(r.shortValue(), 55);
    EXPECT_EQ(r.nameOrOrdinal(), L"") << "no menu";
    EXPECT_EQ(r.nameOrOrdinal(), L"") << "the standard dialog class";
    EXPECT_EQ(r.text(), L"About Veldrun");
    EXPECT_EQ(r.word(), 8);
    EXPECT_EQ(r.text(), L"MS Sans Serif");

    const DWORD child = WS_CHILD | WS_VISIBLE;
    const ItemSpec items[] = {
        {-1, L"#130", L"#128", child | SS_ICON, 11, 17, 20, 20},
        {-1, L"#130", L"Veldrun Version 1.0", child | WS_GROUP | SS_NOPREFIX | SS_LEFT, 40, 10, 119, 8},
        {-1, L"#130", nullptr, child | WS_GROUP | SS_LEFT, 40, 25, 119, 8},
        {IDOK, L"#128", L"OK", child | WS_TABSTOP | WS_GROUP | BS_DEFPUSHBUTTON, 178, 7, 50, 14},
    };
    ASSERT_EQ(count, 4);
    for (const ItemSpec& want : items) {
        r.alignDword(base);
        EXPECT_EQ(r.dword(), want.style) << want.y;
        EXPECT_EQ(r.dword(), 0u);
        EXPECT_EQ(r.shortValue(), want.x);
        EXPECT_EQ(r.shortValue(), want.y);
        EXPECT_EQ(r.shortValue(), want.cx);
        EXPECT_EQ(r.shortValue(), want.cy);
        EXPECT_EQ(static_cast<int16_t>(r.word()), want.id);
        EXPECT_EQ(r.nameOrOrdinal(), want.cls);
        std::wstring text = r.nameOrOrdinal();
        if (want.text)
            EXPECT_EQ(text, want.text);
        else
            EXPECT_NE(text.find(L"Veldrun"), std::wstring::npos) << "the maker's notice line";
        uint16_t extra = r.word();
        EXPECT_EQ(extra, 0);
    }
}

// ------------------------------------------------------------ the modal run

// What the running About box showed, and how the test ends it.
struct Seen {
    bool found = false;
    bool visible = false;
    std::wstring title;
    std::vector<std::wstring> texts;
    bool hasIcon = false;
};

Seen g_seen;
int g_closeBy = 0; // 0: click OK, 1: Escape key, 2: close box

BOOL CALLBACK collectChild(HWND child, LPARAM)
{
    wchar_t text[128] = {};
    GetWindowTextW(child, text, 128);
    g_seen.texts.push_back(text);
    if (SendMessageW(child, STM_GETICON, 0, 0))
        g_seen.hasIcon = true;
    return TRUE;
}

void CALLBACK inspectAndClose(HWND, UINT, UINT_PTR timer, DWORD)
{
    HWND dlg = FindWindowW(L"#32770", L"About Veldrun");
    if (!dlg)
        return; // not up yet
    KillTimer(nullptr, timer);
    g_seen.found = true;
    g_seen.visible = IsWindowVisible(dlg);
    wchar_t title[64] = {};
    GetWindowTextW(dlg, title, 64);
    g_seen.title = title;
    EnumChildWindows(dlg, collectChild, 0);
    switch (g_closeBy) {
    case 0:
        SendMessageW(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
        break;
    case 1:
        PostMessageW(GetFocus() ? GetFocus() : dlg, WM_KEYDOWN, VK_ESCAPE, 0);
        break;
    default:
        PostMessageW(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
        break;
    }
}

class AboutRun : public ::testing::TestWithParam<std::pair<int, INT_PTR>> {};

TEST_P(AboutRun, ShowsItsTextsAndEndsThroughTheDefaultHandling)
{
    g_seen = Seen();
    g_closeBy = GetParam().first;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, inspectAndClose);
    ASSERT_TRUE(timer);
    CAboutDlg dlg;
    INT_PTR result = dlg.DoModal();
    KillTimer(nullptr, timer);
    EXPECT_EQ(result, GetParam().second);
    ASSERT_TRUE(g_seen.found);
    EXPECT_TRUE(g_seen.visible) << "a modal run shows the box although its template is not visible";
    EXPECT_EQ(g_seen.title, L"About Veldrun");
    ASSERT_EQ(g_seen.texts.size(), 4u);
    EXPECT_EQ(g_seen.texts[1], L"Veldrun Version 1.0");
    EXPECT_NE(g_seen.texts[2].find(L"Veldrun"), std::wstring::npos);
    EXPECT_EQ(g_seen.texts[3], L"OK");
    EXPECT_TRUE(g_seen.hasIcon) << "icon 128 in the box";
    EXPECT_FALSE(FindWindowW(L"#32770", L"About Veldrun")) << "the box is gone after the run";
}

INSTANTIATE_TEST_SUITE_P(Endings, AboutRun,
                         ::testing::Values(std::make_pair(0, static_cast<INT_PTR>(IDOK)),
                                           std::make_pair(1, static_cast<INT_PTR>(IDCANCEL)),
                                           std::make_pair(2, static_cast<INT_PTR>(IDCANCEL))));

} // namespace
