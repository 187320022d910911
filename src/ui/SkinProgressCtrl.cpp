#include "ui/SkinProgressCtrl.h"

#include "framework/WinApp.h"
#include "resource.h"
#include "ui/BufferedDC.h"
#include "ui/SkinProgressCtrlFill.h"

namespace {

// Text colours of the two-colour rule when none is set.
const COLORREF kFillTextDefault = RGB(0, 1, 128);    // over the filled part
const COLORREF kRestTextDefault = RGB(91, 182, 229); // over the track

const UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

HBITMAP loadBitmap(UINT id)
{
    return static_cast<HBITMAP>(
        LoadImageA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
}

// Stretches the left `fraction` of `bitmap` (its first trunc(bitmap width x
// fraction) columns, full height) onto the rectangle (0, 0, width, height)
// of dc, so a partial fill shows exactly what a full-width stretch shows
// there. Nothing when the bitmap cannot be selected.
void stretchPart(HDC dc, HBITMAP bitmap, int width, int height, double fraction)
{
    BITMAP bm = {};
    if (!bitmap || !GetObjectA(bitmap, sizeof bm, &bm))
        return;
    CMemDCOwner mem(dc);
    CSelectGuard select(mem.get(), bitmap);
    if (!select.ok())
        return;
    int srcWidth = progressFillExtent(bm.bmWidth, fraction);
    StretchBlt(dc, 0, 0, width, height, mem.get(), 0, 0, srcWidth, bm.bmHeight, SRCCOPY);
}

// Clips dc to the rectangle r, given in client (logical) units. Clip regions
// are in device units, which inside the buffer start at the buffer's corner,
// not at the client origin, when only part of the control is repainted.
void clipTo(HDC dc, RECT r)
{
    LPtoDP(dc, reinterpret_cast<POINT*>(&r), 2);
    CRgnOwner rgn(CreateRectRgn(r.left, r.top, r.right, r.bottom));
    SelectClipRgn(dc, rgn.get()); // the context keeps its own copy
}

} // namespace

CSkinProgressCtrl::CSkinProgressCtrl()
    : m_crText(CLR_DEFAULT), m_nPos(0), m_nStep(1), m_nUpper(100), m_nLower(0), m_szText(), m_bShowText(TRUE),
      m_nDrawnWidth(-1), m_crBar(CLR_DEFAULT), m_crBk(CLR_DEFAULT), m_bmpBack(loadBitmap(IDB_PROGRESS_BG)),
      m_bmpFill(loadBitmap(IDB_PROGRESS_FILL))
{
}

CSkinProgressCtrl::~CSkinProgressCtrl() = default;

void CSkinProgressCtrl::invalidateAll()
{
    if (IsWindow())
        Invalidate(TRUE);
}

void CSkinProgressCtrl::setText(const char* text)
{
    copyBounded(m_szText, sizeof m_szText, text);
    invalidateAll();
}

COLORREF CSkinProgressCtrl::swapColor(COLORREF& stored, COLORREF value)
{
    invalidateAll();
    COLORREF previous = stored;
    stored = value;
    return previous;
}

LRESULT CSkinProgressCtrl::onSetRange(int lower, int upper)
{
    LRESULT previous = MAKELRESULT(static_cast<WORD>(m_nLower), static_cast<WORD>(m_nUpper));
    m_nLower = lower;
    m_nUpper = upper;
    return previous;
}

LRESULT CSkinProgressCtrl::onSetPos(int pos)
{
    if (!IsWindow())
        return -1;
    int previous = m_nPos;
    m_nPos = pos;
    RECT rc;
    GetClientRect(&rc);
    int width = progressFillExtent(rc.right - rc.left, progressFraction(m_nPos, m_nLower, m_nUpper));
    if (width != m_nDrawnWidth) {
        m_nDrawnWidth = width;
        RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    return previous;
}

bool CSkinProgressCtrl::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case PBM_SETRANGE:
        *result = onSetRange(LOWORD(lParam), HIWORD(lParam));
        return true;
    case PBM_SETRANGE32:
        *result = onSetRange(static_cast<int>(wParam), static_cast<int>(lParam));
        return true;
    case PBM_GETRANGE:
        if (lParam) {
            auto* range = reinterpret_cast<PBRANGE*>(lParam);
            range->iLow = m_nLower;
            range->iHigh = m_nUpper;
        }
        *result = wParam ? m_nLower : m_nUpper;
        return true;
    case PBM_SETPOS:
        *result = onSetPos(static_cast<int>(wParam));
        return true;
    case PBM_GETPOS:
        *result = m_nPos;
        return true;
    case PBM_DELTAPOS:
    case PBM_STEPIT: {
        // Adds in unsigned arithmetic: a position at the end of the int range
        // wraps instead of overflowing. There is no wrap to the lower bound.
        unsigned delta = message == PBM_STEPIT ? static_cast<unsigned>(m_nStep) : static_cast<unsigned>(wParam);
        int pos = static_cast<int>(static_cast<unsigned>(m_nPos) + delta);
        *result = IsWindow() ? SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)) : -1;
        return true;
    }
    case PBM_SETSTEP:
        *result = m_nStep;
        m_nStep = static_cast<int>(wParam);
        return true;
    case PBM_SETBARCOLOR:
        *result = swapColor(m_crBar, static_cast<COLORREF>(lParam));
        return true;
    case PBM_SETBKCOLOR:
        *result = swapColor(m_crBk, static_cast<COLORREF>(lParam));
        return true;
    case PBM_SETTEXTCOLOR:
        *result = swapColor(m_crText, static_cast<COLORREF>(lParam));
        return true;
    case PBM_SHOWTEXT: {
        BOOL show = wParam ? TRUE : FALSE;
        if (show != m_bShowText)
            invalidateAll();
        *result = m_bShowText;
        m_bShowText = show;
        return true;
    }
    case WM_SIZE:
        *result = Default();
        m_nDrawnWidth = -1;
        return true;
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_PAINT:
        onPaint();
        *result = 0;
        return true;
    default:
        return CProgressCtrl::OnWndMsg(message, wParam, lParam, result);
    }
}

void CSkinProgressCtrl::onPaint()
{
    // Ending the paint validates the control even when nothing is drawn, so
    // an undrawable range does not bring the request back again and again.
    CPaintDCOwner paint(m_hWnd);
    if (!paint || !progressRangeDrawable(m_nLower, m_nUpper))
        return;
    COLORREF fillText = m_crBk != CLR_DEFAULT ? m_crBk : kFillTextDefault;
    COLORREF restText = m_crBar != CLR_DEFAULT ? m_crBar : kRestTextDefault;
    RECT client;
    GetClientRect(&client);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    double fraction = progressFraction(m_nPos, m_nLower, m_nUpper);

    CBufferedDC buffer(paint.get());
    HDC dc = buffer.get();
    stretchPart(dc, m_bmpBack.get(), width, height, 1.0);
    int fillWidth = progressFillExtent(width, fraction);
    if (fillWidth > 0)
        stretchPart(dc, m_bmpFill.get(), fillWidth, height, fraction);
    if (m_bShowText)
        drawText(dc, client, client.left + fillWidth, fillText, restText);
}

void CSkinProgressCtrl::drawText(HDC dc, const RECT& client, int fillRight, COLORREF fillText, COLORREF restText)
{
    SetBkMode(dc, TRANSPARENT);
    RECT text = client;
    clipTo(dc, RECT{client.left, client.top, fillRight, client.bottom});
    SetTextColor(dc, m_crText != CLR_DEFAULT ? m_crText : fillText);
    DrawTextA(dc, m_szText, -1, &text, kTextFormat);
    clipTo(dc, RECT{fillRight, client.top, client.right, client.bottom});
    SetTextColor(dc, m_crText != CLR_DEFAULT ? m_crText : restText);
    DrawTextA(dc, m_szText, -1, &text, kTextFormat);
    SelectClipRgn(dc, nullptr);
}
