// The About entry of the update window's system menu and the system
// commands that open the About box, on a real CUpdateDlg. The run is one
// that ends in a product error (no patch information file): while its
// message box waits, a timer looks at the window and sends it commands.
#include "ui/AboutDlg.h"
#include "update/UpdateDlg.h"

#include "resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Findings {
    bool sawDialog = false;
    bool lastIsAbout = false;
    bool separatorBefore = false;
    std::wstring aboutText;
    std::vector<UINT> opened; // commands that opened the About box
    std::vector<std::wstring> aboutTexts;
    UINT current = 0;
};

Findings g_found;
HWND g_dialog = nullptr;
CUpdateDlg* g_dlg = nullptr;

// Closes an About box that is up and notes that the current command opened it.
void CALLBACK closeAbout(HWND, UINT, UINT_PTR, DWORD)
{
    HWND about = FindWindowW(L"#32770", L"About Veldrun");
    if (!about)
        return;
    wchar_t text[64] = {};
    GetWindowTextW(GetDlgItem(about, IDOK), text, 64);
    g_found.opened.push_back(g_found.current);
    g_found.aboutTexts.push_back(text);
    SendMessageW(GetDlgItem(about, IDOK), BM_CLICK, 0, 0);
}

BOOL CALLBACK findUpdateMessageBox(HWND hwnd, LPARAM out)
{
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    if (hwnd != g_dialog && std::wstring(title) == L"Update Utility" && IsWindowVisible(hwnd)) {
        *reinterpret_cast<HWND*>(out) = hwnd;
        return FALSE;
    }
    return TRUE;
}

void CALLBACK drive(HWND, UINT, UINT_PTR timer, DWORD)
{
    g_dialog = g_dlg ? g_dlg->m_hWnd : nullptr;
    HWND box = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), findUpdateMessageBox, reinterpret_cast<LPARAM>(&box));
    if (!box || !g_dialog)
        return; // the run has not reached its message box yet
    KillTimer(nullptr, timer);
    g_found.sawDialog = true;
    HMENU menu = GetSystemMenu(g_dialog, FALSE);
    int count = menu ? GetMenuItemCount(menu) : 0;
    if (count >= 2) {
        wchar_t text[64] = {};
        GetMenuStringW(menu, 0x10, text, 64, MF_BYCOMMAND);
        g_found.aboutText = text;
        g_found.lastIsAbout = GetMenuItemID(menu, count - 1) == 0x10;
        g_found.separatorBefore = (GetMenuState(menu, count - 2, MF_BYPOSITION) & MF_SEPARATOR) != 0;
    }
    UINT_PTR closer = SetTimer(nullptr, 0, 50, closeAbout);
    for (UINT command : {0x0010u, 0x001Fu, 0x0020u}) {
        g_found.current = command;
        SendMessageW(g_dialog, WM_SYSCOMMAND, command, 0);
    }
    KillTimer(nullptr, closer);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
}

TEST(UpdateWindowMenu, AboutEntryAndTheCommandsThatOpenTheAboutBox)
{
    g_found = Findings();
    CRunDriver run(false);
    UpdateLaunch launch;
    launch.iniPath = "C:\\no such folder\\patch.ini";
    CUpdateDlg dlg(run, launch);
    // The window exists from its creation on; the driver waits for the
    // product error's message box, by which time initialisation is done.
    g_dlg = &dlg;
    UINT_PTR timer = SetTimer(nullptr, 0, 50, drive);
    dlg.DoModal();
    KillTimer(nullptr, timer);
    g_dlg = nullptr;
    g_dialog = nullptr;

    ASSERT_TRUE(g_found.sawDialog);
    EXPECT_TRUE(g_found.lastIsAbout) << "the About entry ends the system menu";
    EXPECT_TRUE(g_found.separatorBefore);
    EXPECT_EQ(g_found.aboutText, L"&About Veldrun...");
    EXPECT_EQ(g_found.opened, (std::vector<UINT>{0x0010u, 0x001Fu})) << "0x0020 does not open the About box";
    for (const std::wstring& t : g_found.aboutTexts)
        EXPECT_EQ(t, L"OK");
}

// A run that ends while the About box is open: the About box's loop ends on
// WM_QUIT and posts it again, so the update window's loop ends as well
// instead of waiting for Cancel.
struct NestedQuit {
    CDialog* outer = nullptr;
    bool aboutReturned = false;
    bool hung = false;
};
NestedQuit g_nested;

void CALLBACK quitWhenAboutIsUp(HWND, UINT, UINT_PTR timer, DWORD)
{
    if (!FindWindowW(L"#32770", L"About Veldrun"))
        return;
    KillTimer(nullptr, timer);
    PostQuitMessage(0);
}

void CALLBACK openAbout(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    UINT_PTR quitter = SetTimer(nullptr, 0, 50, quitWhenAboutIsUp);
    CAboutDlg about;
    about.DoModal();
    KillTimer(nullptr, quitter);
    g_nested.aboutReturned = true;
}

void CALLBACK giveUp(HWND, UINT, UINT_PTR timer, DWORD)
{
    KillTimer(nullptr, timer);
    g_nested.hung = true;
    g_nested.outer->EndDialog(IDCANCEL);
}

TEST(NestedModalLoop, QuitInsideTheAboutBoxEndsTheOuterLoop)
{
    g_nested = NestedQuit();
    CDialog outer(IDD_ABOUTBOX);
    g_nested.outer = &outer;
    UINT_PTR opener = SetTimer(nullptr, 0, 50, openAbout);
    UINT_PTR safety = SetTimer(nullptr, 0, 5000, giveUp);
    outer.DoModal();
    KillTimer(nullptr, opener);
    KillTimer(nullptr, safety);
    EXPECT_TRUE(g_nested.aboutReturned);
    EXPECT_FALSE(g_nested.hung) << "the outer loop waited after the About box ended on WM_QUIT";
    MSG msg;
    PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE); // leave no quit behind for other tests
}

} // namespace
