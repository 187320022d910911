#include "ui/SkinProgressCtrl.h"

#include "framework/WinApp.h"
#include "resource.h"
#include "ui/BufferedDC.h"
#include "ui/SkinProgressCtrlFill.h"
#include "ui/WindowDpi.h"
#include "ui/WindowScale.h"

namespace {

// Text colours of the two-colour rule when none is set.
const COLORREF kFillTextDefault = RGB(0, 1, 128);    // over the filled part
const COLORREF kRestTextDefault = RGB(91, 182, 229); // over the track

const UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;

// Value changes are told at most this often; the held-back one follows on
// this timer of the control's own.
const std::uint64_t kValueEventPeriodMs = 100;
const UINT_PTR kValueEventTimer = 0x5645;
// The text's size: 9 points, legible in every script.
const int kTextPoints = 9;

// The user's message font (its face follows the user's language) at the
// text's size for `dpi`.
HFONT createTextFont(unsigned dpi)
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof metrics;
    LOGFONTW lf = {};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0))
        lf = metrics.lfMessageFont;
    else
        lstrcpynW(lf.lfFaceName, L"MS Shell Dlg", LF_FACESIZE);
    lf.lfHeight = -MulDiv(kTextPoints, static_cast<int>(dpi), 72);
    lf.lfWidth = 0;
    lf.lfWeight = FW_NORMAL;
    return CreateFontIndirectW(&lf);
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
      m_nDrawnWidth(-1), m_crBar(CLR_DEFAULT), m_crBk(CLR_DEFAULT), m_bmpBack(loadArt(IDB_PROGRESS_BG, 96)),
      m_bmpFill(loadArt(IDB_PROGRESS_FILL, 96)), m_font(createTextFont(96)), m_valueEvents(kValueEventPeriodMs)
{
}

void CSkinProgressCtrl::setArtDpi(unsigned dpi)
{
    if (!dpi)
        dpi = 96;
    m_bmpBack.reset(loadArt(IDB_PROGRESS_BG, dpi));
    m_bmpFill.reset(loadArt(IDB_PROGRESS_FILL, dpi));
    m_font.reset(createTextFont(dpi));
    m_nDrawnWidth = -1;
    invalidateAll();
}

void CSkinProgressCtrl::tellValueChanged()
{
    if (!IsWindow())
        return;
    std::uint64_t wait = m_valueEvents.delayBefore(GetTickCount64());
    if (wait == 0) {
        NotifyWinEvent(EVENT_OBJECT_VALUECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
        m_bValuePending = false;
    } else if (!m_bValuePending) {
        m_bValuePending = SetTimer(m_hWnd, kValueEventTimer, static_cast<UINT>(wait), nullptr) != 0;
    }
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
    if (IsWindow()) {
        // The window text is what screen readers name the bar by.
        ::DefWindowProcA(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_szText));
        tellValueChanged();
    }
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
    if (pos != previous)
        tellValueChanged();
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
    case WM_TIMER:
        if (wParam != kValueEventTimer)
            break;
        KillTimer(m_hWnd, kValueEventTimer);
        m_bValuePending = false;
        tellValueChanged();
        *result = 0;
        return true;
    default:
        break;
    }
    return CProgressCtrl::OnWndMsg(message, wParam, lParam, result);
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
    CSelectGuard useFont(dc, m_font.get());
    RECT text = client;
    clipTo(dc, RECT{client.left, client.top, fillRight, client.bottom});
    SetTextColor(dc, m_crText != CLR_DEFAULT ? m_crText : fillText);
    DrawTextA(dc, m_szText, -1, &text, kTextFormat);
    clipTo(dc, RECT{fillRight, client.top, client.right, client.bottom});
    SetTextColor(dc, m_crText != CLR_DEFAULT ? m_crText : restText);
    DrawTextA(dc, m_szText, -1, &text, kTextFormat);
    SelectClipRgn(dc, nullptr);
}
