// Looks at and drives the update window from a test, under the same Wine
// server. Prints one line of findings (UTF-8) and exits 0, or 1 on time-out.
//   winctl msgbox MS    wait for an "Update Utility" message box, print its
//                       text, close it with OK
//   winctl watch MS     follow the update window until it is gone: was it
//                       ever visible, the highest progress position
//   winctl cancel MS    wait for the update window and press its Cancel
//   winctl position MS  wait until the progress bar has moved; print it
//   winctl enter MS     wait for the update window and press Enter in it
//   winctl answer MS    like msgbox, but first follow the update window
//                       while the box is up: "hidden=1" once it is hidden or
//                       gone before the box is answered
//   winctl hide MS      press Cancel, then follow the update window until
//                       it is hidden or gone: "hidden=1", and whether its
//                       process still ran then ("running=1")
//   winctl tab MS       wait for the update window and give it a Tab key,
//                       as the keyboard would (through its dialog manager)
// With VELDRUN_WINCTL_MARK naming a file, it also appends "ready" to it when
// it starts looking and "seen" when it first finds the update window, so
// that a test can start a run only once the helper looks, and let it end
// only once the helper has seen its window.
#include "ToolMark.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const wchar_t kTitle[] = L"Update Utility";

struct Found {
    HWND dialog = nullptr;
    HWND msgbox = nullptr;
};

BOOL CALLBACK collect(HWND hwnd, LPARAM lParam)
{
    wchar_t title[64] = {};
    GetWindowTextW(hwnd, title, 64);
    if (wcscmp(title, kTitle) != 0)
        return TRUE;
    auto* found = reinterpret_cast<Found*>(lParam);
    // The update window holds the progress bar (1000); a message box does not.
    if (GetDlgItem(hwnd, 1000))
        found->dialog = hwnd;
    else
        found->msgbox = hwnd;
    return TRUE;
}

Found find()
{
    Found f;
    EnumWindows(&collect, reinterpret_cast<LPARAM>(&f));
    return f;
}

struct Texts {
    wchar_t longest[512];
};

BOOL CALLBACK staticText(HWND child, LPARAM lParam)
{
    wchar_t cls[32] = {};
    GetClassNameW(child, cls, 32);
    if (_wcsicmp(cls, L"Static") != 0)
        return TRUE;
    wchar_t text[512] = {};
    GetWindowTextW(child, text, 512);
    auto* t = reinterpret_cast<Texts*>(lParam);
    if (wcslen(text) > wcslen(t->longest))
        wcscpy(t->longest, text);
    return TRUE;
}

void printUtf8(const char* label, const wchar_t* text)
{
    char utf8[1024] = {};
    WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
    std::printf("%s%s\n", label, utf8);
}
// Presses Cancel in the update window, then follows it until it is hidden
// or gone: "hidden=1 running=R", R telling whether its process still ran.
int cancelAndFollow(HWND dialog, DWORD deadline)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    const DWORD acted = GetTickCount();
    while (GetTickCount() < deadline) {
        if (!IsWindow(dialog) || !IsWindowVisible(dialog)) {
            bool running = process && WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
            std::printf("hidden=1 running=%d ms=%lu\n", running ? 1 : 0, GetTickCount() - acted);
            return 0;
        }
        Sleep(5);
    }
    std::printf("hidden=0\n");
    return 1;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const char* cmd = argv[1];
    DWORD deadline = GetTickCount() + static_cast<DWORD>(std::atoi(argv[2]));
    bool seen = false, everVisible = false;
    int maxPos = 0;
    bool ready = false;
    while (GetTickCount() < deadline) {
        Found f = find();
        if (!ready) {
            toolMark("ready");
            ready = true;
        }
        if (!std::strcmp(cmd, "msgbox") && f.msgbox) {
            // The box is found as soon as it exists; its text comes with
            // its initialisation.
            Texts t = {};
            EnumChildWindows(f.msgbox, &staticText, reinterpret_cast<LPARAM>(&t));
            if (!t.longest[0] || !IsWindowVisible(f.msgbox)) {
                Sleep(5);
                continue;
            }
            printUtf8("text=", t.longest);
            PostMessageW(f.msgbox, WM_COMMAND, IDOK, 0);
            std::fflush(stdout);
            return 0;
        }
        if (!std::strcmp(cmd, "enter") && f.dialog && IsWindowVisible(f.dialog)) {
            // As the keyboard delivers it: to the window with the focus,
            // which the dialog's message loop turns into its default command.
            PostMessageW(f.dialog, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageW(f.dialog, WM_KEYUP, VK_RETURN, 0);
            // And the command Enter makes, sent: handled once this returns.
            SendMessageW(f.dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            std::printf("entered\n");
            return 0;
        }
        if (!std::strcmp(cmd, "answer") && f.msgbox && f.dialog && IsWindowVisible(f.msgbox)) {
            Texts t = {};
            EnumChildWindows(f.msgbox, &staticText, reinterpret_cast<LPARAM>(&t));
            printUtf8("text=", t.longest);
            while (IsWindow(f.dialog) && IsWindowVisible(f.dialog) && GetTickCount() < deadline)
                Sleep(5);
            std::printf("hidden=%d\n", IsWindow(f.dialog) && IsWindowVisible(f.dialog) ? 0 : 1);
            PostMessageW(f.msgbox, WM_COMMAND, IDOK, 0);
            std::fflush(stdout);
            return 0;
        }
        if (!std::strcmp(cmd, "hide") && f.dialog && IsWindowVisible(f.dialog))
            return cancelAndFollow(f.dialog, deadline);
        if (!std::strcmp(cmd, "tab") && f.dialog) {
            HWND focus = GetDlgItem(f.dialog, IDCANCEL);
            PostMessageW(focus, WM_KEYDOWN, VK_TAB, 0x000F0001);
            PostMessageW(focus, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001));
            std::printf("tabbed\n");
            return 0;
        }
        if (!std::strcmp(cmd, "cancel") && f.dialog) {
            PostMessageW(f.dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
            std::printf("cancelled\n");
            return 0;
        }
        if (f.dialog) {
            if (!seen)
                toolMark("seen");
            seen = true;
            everVisible |= IsWindowVisible(f.dialog) != 0;
            int pos = static_cast<int>(SendMessageW(GetDlgItem(f.dialog, 1000), PBM_GETPOS, 0, 0));
            if (pos > maxPos)
                maxPos = pos;
            if (!std::strcmp(cmd, "position") && pos > 0) {
                std::printf("position=%d\n", pos);
                return 0;
            }
        } else if (seen && !std::strcmp(cmd, "watch")) {
            std::printf("seen=1 visible=%d maxpos=%d\n", everVisible ? 1 : 0, maxPos);
            return 0;
        }
        Sleep(5);
    }
    std::printf("timeout seen=%d visible=%d maxpos=%d\n", seen ? 1 : 0, everVisible ? 1 : 0, maxPos);
    return 1;
}
