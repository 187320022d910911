#include "ui/WindowDpi.h"

#include "framework/WinApp.h"
#include "ui/WindowScale.h"

#include "resource.h"

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using AdjustForDpiFn = BOOL(WINAPI*)(RECT*, DWORD, BOOL, DWORD, UINT);

// user32 is a KnownDLL; these calls exist from Windows 10 1607 on.
FARPROC user32Proc(const char* name)
{
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    return user32 ? GetProcAddress(user32, name) : nullptr;
}

template <class F> F user32Function(const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(user32Proc(name)));
}

void placeControl(HWND dialog, int id, WindowPart part, unsigned dpi)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control)
        return;
    PixelRect r = updateWindowRect(part, dpi);
    SetWindowPos(control, nullptr, r.left, r.top, r.width(), r.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace

unsigned windowDpi(HWND hwnd)
{
    static const auto getDpiForWindow = user32Function<GetDpiForWindowFn>("GetDpiForWindow");
    if (getDpiForWindow && hwnd) {
        UINT dpi = getDpiForWindow(hwnd);
        if (dpi)
            return dpi;
    }
    HDC screen = GetDC(nullptr);
    int dpi = screen ? GetDeviceCaps(screen, LOGPIXELSY) : 0;
    if (screen)
        ReleaseDC(nullptr, screen);
    return dpi > 0 ? static_cast<unsigned>(dpi) : 96u;
}

UINT artIdFor(UINT id, unsigned dpi)
{
    UINT scaled = scaledArtId(id, artScaleFor(dpi));
    bool present = scaled != id && FindResourceA(AfxGetResourceHandle(), MAKEINTRESOURCEA(scaled), RT_BITMAP);
    return present ? scaled : id;
}

HBITMAP loadArt(UINT id, unsigned dpi)
{
    return static_cast<HBITMAP>(LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(artIdFor(id, dpi)), IMAGE_BITMAP, 0,
                                           0, LR_CREATEDIBSECTION));
}

void placeUpdateWindow(HWND dialog, unsigned dpi, const RECT* suggested)
{
    PixelRect client = updateWindowRect(WindowPart::Client, dpi);
    RECT frame = {0, 0, client.width(), client.height()};
    auto style = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE));
    auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE));
    static const auto adjustForDpi = user32Function<AdjustForDpiFn>("AdjustWindowRectExForDpi");
    if (!adjustForDpi || !adjustForDpi(&frame, style, FALSE, exStyle, dpi))
        AdjustWindowRectEx(&frame, style, FALSE, exStyle);
    int width = frame.right - frame.left;
    int height = frame.bottom - frame.top;

    int x = 0, y = 0;
    if (suggested) {
        x = suggested->left;
        y = suggested->top;
    } else {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        if (GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &info)) {
            const RECT& work = info.rcWork;
            // A window larger than the work area keeps its top-left corner on it.
            x = work.left + ((work.right - work.left - width) > 0 ? (work.right - work.left - width) / 2 : 0);
            y = work.top + ((work.bottom - work.top - height) > 0 ? (work.bottom - work.top - height) / 2 : 0);
        }
    }
    SetWindowPos(dialog, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
    placeControl(dialog, IDC_STATUS, WindowPart::Status, dpi);
    placeControl(dialog, IDC_PROGRESS, WindowPart::Progress, dpi);
    placeControl(dialog, IDCANCEL, WindowPart::Cancel, dpi);
}
