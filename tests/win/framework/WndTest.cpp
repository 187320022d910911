#include "framework/Wnd.h"

#include <gtest/gtest.h>

namespace {

// Counts what reaches WindowProc and answers WM_GETDLGCODE itself.
class CCountingWnd : public CWnd {
public:
    int m_nSetText = 0;
    bool m_bPreSubclassSawHandle = false;

protected:
    void PreSubclassWindow() override { m_bPreSubclassSawHandle = m_hWnd != nullptr; }
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_SETTEXT) {
            ++m_nSetText;
            *result = Default(); // the button's own processing stores the text
            return true;
        }
        if (message == WM_GETDLGCODE) {
            *result = 0x1234;
            return true;
        }
        return CWnd::OnWndMsg(message, wParam, lParam, result);
    }
};

TEST(CWnd, SubclassRoutesMessagesAndDefaultKeepsTheOriginalBehaviour)
{
    HWND button = CreateWindowW(L"BUTTON", L"a", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(button);
    CCountingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(button));
    EXPECT_TRUE(wnd.m_bPreSubclassSawHandle);
    EXPECT_EQ(CWnd::FromHandlePermanent(button), &wnd);

    SetWindowTextW(button, L"hello");
    EXPECT_EQ(wnd.m_nSetText, 1);
    wchar_t text[16] = {};
    GetWindowTextW(button, text, 16);
    EXPECT_STREQ(text, L"hello");
    EXPECT_EQ(SendMessageW(button, WM_GETDLGCODE, 0, 0), 0x1234);

    CCountingWnd second;
    EXPECT_FALSE(second.SubclassWindow(button)) << "a window is taken over once";

    EXPECT_EQ(wnd.UnsubclassWindow(), button);
    EXPECT_EQ(CWnd::FromHandlePermanent(button), nullptr);
    EXPECT_NE(SendMessageW(button, WM_GETDLGCODE, 0, 0), 0x1234);
    DestroyWindow(button);
}

TEST(CWnd, LetsGoOfADestroyedWindow)
{
    HWND button = CreateWindowW(L"BUTTON", L"a", WS_POPUP, 0, 0, 50, 20, nullptr, nullptr, nullptr, nullptr);
    CCountingWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(button));
    DestroyWindow(button);
    EXPECT_EQ(wnd.m_hWnd, nullptr);
}

} // namespace
