#include "UiTestWindows.h"

#include <commctrl.h>

namespace {

const wchar_t kParentClass[] = L"VeldrunTestParent";

void registerParentClass()
{
    static bool registered = false;
    if (registered)
        return;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = CreateSolidBrush(RGB(0x0B, 0x21, 0x3D)); // the update window's navy
    wc.lpszClassName = kParentClass;
    RegisterClassW(&wc);
    registered = true;
}

Pixels readBitmap(HDC dc, HBITMAP bitmap, int width, int height)
{
    Pixels p;
    p.width = width;
    p.height = height;
    p.data.resize(static_cast<size_t>(width) * height);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = width;
    bi.bmiHeader.biHeight = -height; // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    bi.bmiHeader.biCompression = BI_RGB;
    GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), p.data.data(), &bi, DIB_RGB_COLORS);
    for (unsigned& v : p.data)
        v &= 0x00FFFFFF;
    return p;
}

} // namespace

CTestParent::CTestParent(int width, int height)
{
    registerParentClass();
    HWND hwnd = CreateWindowExW(0, kParentClass, L"Veldrun test", WS_POPUP | WS_VISIBLE, 40, 40, width, height, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
    SubclassWindow(hwnd);
    SetForegroundWindow(hwnd);
    UpdateWindow(hwnd);
    pumpMessages(20);
}

CTestParent::~CTestParent()
{
    if (m_hWnd)
        DestroyWindow();
    pumpMessages();
}

CTestParent& testParent()
{
    static CTestParent parent;
    return parent;
}

void CTestParent::clear()
{
    while (HWND child = GetWindow(m_hWnd, GW_CHILD))
        ::DestroyWindow(child);
    pumpMessages();
    m_nClicks = 0;
    m_nLastClickId = 0;
}

bool CTestParent::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        ++m_nClicks;
        m_nLastClickId = LOWORD(wParam);
        *result = 0;
        return true;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

HWND createChild(HWND parent, const wchar_t* cls, DWORD style, int x, int y, int width, int height, int id,
                 const wchar_t* text)
{
    return CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

void pumpMessages(int ms)
{
    DWORD start = GetTickCount();
    do {
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        if (ms > 0)
            Sleep(5);
    } while (static_cast<int>(GetTickCount() - start) < ms);
}

Pixels captureClient(HWND hwnd)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    int width = rc.right;
    int height = rc.bottom;
    HDC dc = GetDC(hwnd);
    HDC mem = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, width, height, dc, 0, 0, SRCCOPY);
    SelectObject(mem, old);
    Pixels p = readBitmap(mem, bitmap, width, height);
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(hwnd, dc);
    return p;
}

Pixels bitmapPixels(UINT id)
{
    HBITMAP bitmap = LoadBitmapA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(id));
    BITMAP bm = {};
    GetObjectA(bitmap, sizeof bm, &bm);
    HDC screen = GetDC(nullptr);
    Pixels p = readBitmap(screen, bitmap, bm.bmWidth, bm.bmHeight);
    ReleaseDC(nullptr, screen);
    DeleteObject(bitmap);
    return p;
}

int brightness(unsigned rgb)
{
    return static_cast<int>((((rgb >> 16) & 0xFF) * 299 + ((rgb >> 8) & 0xFF) * 587 + (rgb & 0xFF) * 114) / 1000);
}

void moveCursorTo(HWND hwnd, int x, int y)
{
    POINT pt = {x, y};
    ClientToScreen(hwnd, &pt);
    SetCursorPos(pt.x, pt.y);
    pumpMessages(20);
}
