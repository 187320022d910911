#include "ui/WindowPainting.h"

#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "framework/WinApp.h"

#include "resource.h"

BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background, HWND statusPlaceholder, const wchar_t* statusText)
{
    if (!dc || !background)
        return FALSE;
    BITMAP bm = {};
    if (!::GetObjectA(background, sizeof bm, &bm))
        return FALSE;

    CMemDCOwner mem(dc);
    if (!mem)
        return FALSE;
    {
        CSelectGuard picture(mem.get(), background);
        if (!picture.ok())
            return FALSE;
        RECT client = {};
        ::GetClientRect(dialog, &client);
        // No stretch mode of our own: the target context's current mode applies.
        ::StretchBlt(dc, 0, 0, client.right - client.left, client.bottom - client.top, mem.get(), 0, 0, bm.bmWidth,
                     bm.bmHeight, SRCCOPY);
    }

    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, kStatusTextColor);

    RECT place = {};
    if (statusPlaceholder && ::GetWindowRect(statusPlaceholder, &place)) {
        POINT corners[2] = {{place.left, place.top}, {place.right, place.bottom}};
        ::ScreenToClient(dialog, &corners[0]);
        ::ScreenToClient(dialog, &corners[1]);
        place = {corners[0].x, corners[0].y, corners[1].x, corners[1].y};
    } else {
        place = {0, 0, 0, 0}; // nowhere to draw: the text is clipped away
    }

    LOGFONTA lf = {};
    lf.lfHeight = 18;
    lf.lfWeight = FW_BOLD;
    lstrcpynA(lf.lfFaceName, "Verdana", LF_FACESIZE);
    CFontOwner font(::CreateFontIndirectA(&lf));
    {
        CSelectGuard useFont(dc, font.get());
        if (statusText)
            ::DrawTextW(dc, statusText, -1, &place, 0);
    }
    return TRUE;
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
