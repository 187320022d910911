// skin_controls_view [ms]: shows the skinned controls the way the update
// window arranges them, over a navy background, for `ms` milliseconds
// (default 3000), so they can be looked at or captured from the screen:
//   tests/wine/run.sh out/build/win64 out/build/win64/tests/win/ui/skin_controls_view.exe 8000 &
//   sleep 3; DISPLAY=... xwd -root -silent | convert xwd:- controls.png
// The progress bars have the template's size (451x34 client pixels). Of the
// buttons, the first is disabled, the second checked, and the third shows
// its hover face: the cursor is put over it.

#include "common/Handles.h"
#include "resource.h"
#include "ui/SkinButton.h"
#include "ui/SkinProgressCtrl.h"

#include <commctrl.h>

#include <cstdlib>

namespace {

class CViewWindow : public CWnd {
protected:
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override
    {
        if (message == WM_ERASEBKGND) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            RECT rc;
            GetClientRect(&rc);
            for (int y = 0; y < rc.bottom; ++y) { // #0E2746 to #081A30
                int t = y * 256 / (rc.bottom ? rc.bottom : 1);
                CBrushOwner brush(
                    CreateSolidBrush(RGB(0x0E - (6 * t >> 8), 0x27 - (13 * t >> 8), 0x46 - (22 * t >> 8))));
                RECT line = {0, y, rc.right, y + 1};
                FillRect(dc, &line, brush.get());
            }
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, RGB(150, 199, 255));
            LOGFONTA lf = {};
            lf.lfHeight = 18;
            lf.lfWeight = FW_BOLD;
            lstrcpyA(lf.lfFaceName, "Verdana");
            CFontOwner font(CreateFontIndirectA(&lf));
            CSelectGuard select(dc, font.get());
            RECT status = {28, 60, 428, 88};
            DrawTextW(dc, L"Downloading latest update...", -1, &status, 0);
            *result = 1;
            return true;
        }
        if (message == WM_CLOSE) {
            PostQuitMessage(0);
            *result = 0;
            return true;
        }
        return CWnd::OnWndMsg(message, wParam, lParam, result);
    }
};

HWND child(HWND parent, const wchar_t* cls, DWORD style, int x, int y, int w, int h, int id)
{
    return CreateWindowExW(0, cls, L"", WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleW(nullptr), nullptr);
}

} // namespace

int main(int argc, char** argv)
{
    int ms = argc > 1 ? std::atoi(argv[1]) : 3000;
    INITCOMMONCONTROLSEX icc = {sizeof icc, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&icc);
    WNDCLASSW wc = {};
    wc.lpfnWndProc = DefWindowProcW;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.lpszClassName = L"VeldrunSkinView";
    RegisterClassW(&wc);
    HWND hwnd = CreateWindowExW(0, wc.lpszClassName, L"Skinned controls", WS_POPUP | WS_VISIBLE, 60, 60, 498, 300,
                                nullptr, nullptr, wc.hInstance, nullptr);
    CViewWindow view;
    view.SubclassWindow(hwnd);

    CSkinProgressCtrl bar, empty;
    bar.SubclassWindow(child(hwnd, PROGRESS_CLASSW, WS_BORDER | PBS_SMOOTH, 22, 98, 453, 36, 1000));
    bar.SendMessage(PBM_SETPOS, 60);
    bar.setText("612 K / 1020 K");
    empty.SubclassWindow(child(hwnd, PROGRESS_CLASSW, WS_BORDER | PBS_SMOOTH, 22, 142, 453, 36, 1001));
    empty.SendMessage(PBM_SETPOS, 8);
    empty.setText("82 K / 1020 K");

    CSkinButton cancel, checked, disabled;
    const struct {
        CSkinButton* button;
        DWORD style;
        int x;
    } buttons[] = {{&disabled, BS_PUSHBUTTON, 193}, {&checked, BS_AUTOCHECKBOX, 290}, {&cancel, BS_PUSHBUTTON, 387}};
    for (const auto& b : buttons) {
        b.button->SubclassWindow(child(hwnd, L"BUTTON", b.style, b.x, 250, 89, 30, IDCANCEL));
        b.button->setCaption(L"Cancel");
        b.button->setTextColor(RGB(255, 255, 255));
        b.button->setSkin(IDB_BTN_NORMAL, IDB_BTN_DOWN, IDB_BTN_OVER, 0, 0, 0, 1, 0, 0);
        SendMessageW(b.button->m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    }
    checked.SendMessage(BM_SETCHECK, 1);
    EnableWindow(disabled.m_hWnd, FALSE);
    POINT over = {40, 15};
    ClientToScreen(cancel.m_hWnd, &over);
    SetCursorPos(over.x, over.y);
    cancel.SendMessage(WM_MOUSEMOVE, 0, MAKELPARAM(40, 15));
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);

    SetTimer(hwnd, 1, static_cast<UINT>(ms), nullptr);
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.hwnd == hwnd)
            break;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    return 0;
}
