#include "ui/WindowPainting.h"

#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "framework/WinApp.h"
#include "ui/WindowScale.h"

#include "resource.h"

BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background)
{
    if (!dc || !background)
        return FALSE;
    BITMAP bm = {};
    if (!::GetObjectA(background, sizeof bm, &bm))
        return FALSE;

    CMemDCOwner mem(dc);
    if (!mem)
        return FALSE;
    CSelectGuard picture(mem.get(), background);
    if (!picture.ok())
        return FALSE;
    RECT client = {};
    ::GetClientRect(dialog, &client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    if (width < bm.bmWidth || height < bm.bmHeight) {
        ::SetStretchBltMode(dc, HALFTONE);
        ::SetBrushOrgEx(dc, 0, 0, nullptr);
    }
    ::StretchBlt(dc, 0, 0, width, height, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    return TRUE;
}

void drawStatusText(HDC dc, const RECT& place, const wchar_t* text, unsigned dpi)
{
    if (!dc || !text)
        return;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kStatusTextColor);
    LOGFONTA lf = {};
    lf.lfHeight = scaleForDpi(kStatusFontHeight, dpi);
    lf.lfWeight = FW_BOLD;
    lstrcpynA(lf.lfFaceName, "Verdana", LF_FACESIZE);
    CFontOwner font(::CreateFontIndirectA(&lf));
    CSelectGuard useFont(dc, font.get());
    RECT r = place;
    ::DrawTextW(dc, text, -1, &r, 0);
}

void paintMinimizedIcon(HWND dialog, HDC dc, HICON icon)
{
    ::SendMessageW(dialog, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
    int cxIcon = ::GetSystemMetrics(SM_CXICON);
    int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect = {};
    ::GetClientRect(dialog, &rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(dc, x, y, icon);
}

void appendAboutEntry(HWND dialog)
{
    HMENU sysMenu = GetSystemMenu(dialog, FALSE);
    char about[kMaxText] = {};
    if (!sysMenu || !LoadStringA(AfxGetResourceHandle(), IDS_ABOUTBOX, about, sizeof about) || !about[0])
        return;
    AppendMenuA(sysMenu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(sysMenu, MF_STRING, IDM_ABOUTBOX, about);
}

bool isAboutCommand(UINT commandId)
{
    return (commandId & 0xFFF0) == IDM_ABOUTBOX;
}
