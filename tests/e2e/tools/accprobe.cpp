// accprobe: what a screen reader gets from the update window, read the way
// one reads it: through Active Accessibility, from another process.
//
//   accprobe.exe MS
//
// Hooks the name, value and live-region events of every process
// (SetWinEventHook, out of context) before the window exists, then waits
// for the update window (the "Update Utility" window holding control 1000)
// and, once its progress bar has moved, reads its accessible object (its
// children) and those of its controls (AccessibleObjectFromWindow: names
// and values). It goes on recording events until the window is gone or MS
// milliseconds passed. With VELDRUN_WINCTL_MARK naming a file, it appends
// "ready" once it hooks and "read" once it has read the tree. Output, one
// line each (UTF-8):
//   children N                      the window's client object's children
//   control ID NAME|VALUE           a control's own client object
//   event name|value|live ID MS TEXT   an event of a control of the window,
//                                      with the tick count it came at
//   done|timeout
#include "ToolMark.h"

#include <windows.h>
#include <commctrl.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

namespace {
const DWORD kEventLiveRegionChanged = 0x8019; // Windows 8's
// By value: MinGW's libraries give IID_IAccessible a wrong value, which
// every accessible object refuses.
const IID kIidAccessible = {0x618736e0, 0x3c3d, 0x11cf, {0x81, 0x0c, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

// Prints "PREFIX TEXT" as one UTF-8 line.
void printLine(const char* prefix, const wchar_t* text)
{
    char utf8[2048] = {};
    WideCharToMultiByte(CP_UTF8, 0, text ? text : L"", -1, utf8, sizeof utf8 - 1, nullptr, nullptr);
    std::printf("%s %s\n", prefix, utf8);
    std::fflush(stdout);
}

HWND findWindow()
{
    HWND w = nullptr;
    while ((w = FindWindowExW(nullptr, w, nullptr, L"Update Utility")) != nullptr)
        if (GetDlgItem(w, 1000))
            return w;
    return nullptr;
}

HWND g_window = nullptr;

void CALLBACK onEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG idObject, LONG, DWORD, DWORD)
{
    if (!hwnd || idObject != OBJID_CLIENT || !g_window || GetParent(hwnd) != g_window)
        return;
    const char* kind = event == EVENT_OBJECT_NAMECHANGE ? "name" : event == EVENT_OBJECT_VALUECHANGE ? "value" : "live";
    wchar_t text[512] = {};
    GetWindowTextW(hwnd, text, 512);
    char prefix[64];
    std::snprintf(prefix, sizeof prefix, "event %s %d %lu", kind, GetDlgCtrlID(hwnd), GetTickCount());
    printLine(prefix, text);
}

// Prints `prefix` with the name and value of `acc`'s item `child`.
void describe(IAccessible* acc, VARIANT child, const char* prefix)
{
    BSTR name = nullptr, value = nullptr;
    acc->get_accName(child, &name);
    acc->get_accValue(child, &value);
    wchar_t both[1024] = {};
    _snwprintf(both, 1023, L"%ls|%ls", name ? name : L"", value ? value : L"");
    printLine(prefix, both);
    SysFreeString(name);
    SysFreeString(value);
}

void readTree(HWND window)
{
    IAccessible* client = nullptr;
    HRESULT hr = AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                            reinterpret_cast<void**>(&client));
    if (FAILED(hr) || !client) {
        std::printf("no accessible object: 0x%08lx, window result %lld\n", static_cast<unsigned long>(hr),
                    static_cast<long long>(SendMessageW(window, WM_GETOBJECT, 0, static_cast<LPARAM>(OBJID_CLIENT))));
        return;
    }
    // Wine names no child of the window's own object: only counted.
    long count = 0;
    client->get_accChildCount(&count);
    std::printf("children %ld\n", count);
    client->Release();
    for (int id : {1002, 1000, 2}) {
        IAccessible* acc = nullptr;
        HWND control = GetDlgItem(window, id);
        if (!control ||
            FAILED(AccessibleObjectFromWindow(control, static_cast<DWORD>(OBJID_CLIENT), kIidAccessible,
                                              reinterpret_cast<void**>(&acc))) ||
            !acc)
            continue;
        VARIANT self = {};
        self.vt = VT_I4;
        self.lVal = CHILDID_SELF;
        char prefix[64];
        std::snprintf(prefix, sizeof prefix, "control %d", id);
        describe(acc, self, prefix);
        acc->Release();
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    CoInitialize(nullptr);
    DWORD deadline = GetTickCount() + static_cast<DWORD>(std::atoi(argv[1]));
    HWINEVENTHOOK hook = SetWinEventHook(EVENT_OBJECT_NAMECHANGE, kEventLiveRegionChanged, nullptr, onEvent, 0, 0,
                                         WINEVENT_OUTOFCONTEXT);
    if (!hook) {
        std::printf("no hook\n");
        return 3;
    }
    toolMark("ready");
    bool read = false;
    while (GetTickCount() < deadline) {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&msg);
        HWND w = findWindow();
        if (!w && g_window) {
            std::printf("done\n");
            UnhookWinEvent(hook);
            return 0;
        }
        g_window = w;
        if (w && !read && SendMessageW(GetDlgItem(w, 1000), PBM_GETPOS, 0, 0) > 0) {
            readTree(w);
            read = true;
            toolMark("read");
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    std::printf("timeout\n");
    UnhookWinEvent(hook);
    return 1;
}
