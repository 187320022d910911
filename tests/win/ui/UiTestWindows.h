#pragma once
// Real windows for the skinned-control tests: a visible top-level parent
// (a CWnd, so WM_DRAWITEM is reflected to owner-drawn children), message
// pumping, and pixel capture of what a window shows on screen.

#include "framework/Wnd.h"

#include <vector>

// The parent window; counts the click notifications it receives.
class CTestParent : public CWnd {
public:
    CTestParent(int width = 600, int height = 200);
    ~CTestParent() override;
    // Destroys the children and resets the counts.
    void clear();
    int m_nClicks = 0;
    int m_nLastClickId = 0;

protected:
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// One parent for the whole run: without a window manager, destroying a
// shown top-level window makes Wine wait two seconds for X.
CTestParent& testParent();

// Creates a child window of `cls` with `style` (WS_CHILD | WS_VISIBLE added).
HWND createChild(HWND parent, const wchar_t* cls, DWORD style, int x, int y, int width, int height, int id = 0,
                 const wchar_t* text = L"");

// Dispatches every queued message, for at least `ms` milliseconds.
void pumpMessages(int ms = 0);

// Pumps until `done()` or `ms` milliseconds have passed; returns done().
template <class F> bool pumpUntil(F done, int ms)
{
    for (int waited = 0; waited < ms && !done(); waited += 10)
        pumpMessages(10);
    return done();
}

// What a window's client area shows, as 0x00RRGGBB values.
struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<unsigned> data;
    unsigned at(int x, int y) const { return data[static_cast<size_t>(y) * width + x]; }
};
Pixels captureClient(HWND hwnd);
// The pixels of a bitmap resource at its natural size.
Pixels bitmapPixels(UINT id);

inline unsigned rgbOf(COLORREF c)
{
    return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c);
}
// Perceived brightness 0..255 of a 0x00RRGGBB value.
int brightness(unsigned rgb);
// Moves the real cursor to a point of hwnd's client area.
void moveCursorTo(HWND hwnd, int x, int y);
