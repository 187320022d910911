#include "ui/SkinButton.h"

#include "framework/WinApp.h"
#include "ui/SkinButtonMask.h"
#include "ui/WindowDpi.h"

#include <windowsx.h>

#include <algorithm>

namespace {

const UINT kTextFormat = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
const COLORREF kTransparent = RGB(255, 255, 255); // mask colour that is cut away

// The picture `id` as drawn for `dpi` where the program has it.
HBITMAP loadBitmap(UINT id, unsigned dpi)
{
    WORD res = LOWORD(id);
    return res ? LoadBitmapA(AfxGetResourceHandle(), MAKEINTRESOURCEA(artIdFor(res, dpi))) : nullptr;
}

void fillFace(HDC dc, const RECT& r)
{
    FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
}

} // namespace

CSkinButton::CSkinButton()
    : m_szCaption(), m_bChecked(0), m_nType(TypePush), m_bHover(0), m_bTracking(0), m_nFocusOffset(0),
      m_crText(GetSysColor(COLOR_BTNTEXT)), m_hRgn(nullptr), m_bBorder(FALSE), m_nDrawMode(DrawStretched)
{
}

CSkinButton::~CSkinButton() = default;

void CSkinButton::PreSubclassWindow()
{
    DWORD style = GetStyle();
    // An owner-drawn button (0x0B) has both low bits set and counts as a
    // check box, as an automatic check box (0x03) does.
    if ((style & 3) == 3)
        m_nType = TypeCheckBox;
    else if ((style & 9) == 9)
        m_nType = TypeRadio;
    else
        m_nType = TypePush;
    CButton::PreSubclassWindow();
    // The type field becomes BS_OWNERDRAW, so that every later paint comes to
    // DrawItem. (Or-ing the bits in alone would turn types 4 to 7 into 0x0F,
    // which is not owner-drawn.)
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, static_cast<LONG_PTR>((style & ~DWORD(BS_TYPEMASK)) | BS_OWNERDRAW));
}

void CSkinButton::setSkin(UINT normal, UINT down, UINT over, UINT disabled, UINT focus, UINT mask, short drawMode,
                          short border, short focusOffset)
{
    m_faceIds = {normal, down, over, LOWORD(disabled) ? disabled : normal, focus};
    loadFaces();
    m_bmpMask.reset();

    m_nDrawMode = drawMode >= DrawTiled ? short(DrawTiled) : drawMode < 0 ? short(DrawNatural) : drawMode;
    m_bBorder = border != 0;
    m_nFocusOffset = focusOffset < 0 ? short(0) : focusOffset;

    if (!LOWORD(mask))
        return;                            // an earlier window shape stays
    m_bmpMask.reset(loadBitmap(mask, 96)); // the shape is in pixels: drawn once
    if (!m_bmpMask || !IsWindow())
        return;
    HRGN rgn = regionFromMask(m_bmpMask.get());
    if (rgn) {
        if (SetWindowRgn(m_hWnd, rgn, TRUE))
            m_hRgn = rgn; // the window owns it from now on
        else
            DeleteObject(rgn);
    }
    BITMAP bm = {};
    if (m_nDrawMode == DrawNatural && GetObjectA(m_bmpMask.get(), sizeof bm, &bm))
        SetWindowPos(m_hWnd, nullptr, 0, 0, bm.bmWidth, bm.bmHeight, SWP_NOMOVE | SWP_NOZORDER);
}

void CSkinButton::loadFaces()
{
    m_bmpNormal.reset(loadBitmap(m_faceIds.normal, m_nDpi));
    m_bmpDown.reset(loadBitmap(m_faceIds.down, m_nDpi));
    m_bmpOver.reset(loadBitmap(m_faceIds.over, m_nDpi));
    m_bmpFocus.reset(loadBitmap(m_faceIds.focus, m_nDpi));
    m_bmpDisabled.reset(loadBitmap(m_faceIds.disabled, m_nDpi));
}

void CSkinButton::setArtDpi(unsigned dpi)
{
    m_nDpi = dpi ? dpi : 96;
    loadFaces();
    invalidateAll();
}

bool CSkinButton::showsFocus(UINT itemState) const
{
    return (itemState & ODS_FOCUS) && !(itemState & ODS_NOFOCUSRECT) && m_bFocusCues;
}

void CSkinButton::setFocusCues(bool on)
{
    if (on == m_bFocusCues)
        return;
    m_bFocusCues = on;
    invalidateAll();
}

HRGN CSkinButton::regionFromMask(HBITMAP mask) const
{
    BITMAP bm = {};
    if (!GetObjectA(mask, sizeof bm, &bm))
        return nullptr;
    CWindowDCOwner windowDC(m_hWnd);
    CMemDCOwner mem(windowDC.get());
    CSelectGuard select(mem.get(), mask);
    if (!select.ok())
        return nullptr;
    HDC dc = mem.get();
    std::vector<MaskRun> runs =
        collectMaskRuns(bm.bmWidth, bm.bmHeight, [dc](int x, int y) { return GetPixel(dc, x, y) != kTransparent; });
    HRGN rgn = CreateRectRgn(0, 0, 0, 0);
    if (!rgn)
        return nullptr;
    for (const MaskRun& run : runs) {
        CRgnOwner piece(CreateRectRgn(run.left, run.top, run.right, run.bottom));
        if (piece)
            CombineRgn(rgn, rgn, piece.get(), RGN_OR);
    }
    return rgn;
}

void CSkinButton::setCaption(const wchar_t* text)
{
    std::fill(std::begin(m_szCaption), std::end(m_szCaption), L'\0');
    if (!text)
        return;
    for (size_t i = 0; i + 1 < sizeof m_szCaption / sizeof m_szCaption[0] && text[i]; ++i)
        m_szCaption[i] = text[i];
    // The window text is what screen readers name the button by.
    if (IsWindow())
        ::DefWindowProcW(m_hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(m_szCaption));
}

COLORREF CSkinButton::setTextColor(COLORREF color)
{
    COLORREF previous = m_crText;
    m_crText = color;
    return previous;
}

void CSkinButton::setTooltipText(const wchar_t* text)
{
    if (m_tooltip.m_hWnd) {
        m_tooltip.UpdateTipText(text, this);
        return;
    }
    if (!m_tooltip.Create(this, 0))
        return;
    if (m_tooltip.AddTool(this, text))
        m_tooltip.Activate(TRUE);
    else
        m_tooltip.DestroyWindow(); // so that the next call tries again
}

void CSkinButton::invalidateAll() const
{
    if (m_hWnd)
        Invalidate(TRUE);
}

void CSkinButton::relayToTooltip(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (!m_tooltip.m_hWnd)
        return;
    MSG msg = {};
    msg.hwnd = m_hWnd;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = 0;
    msg.pt.x = GET_X_LPARAM(lParam);
    msg.pt.y = GET_Y_LPARAM(lParam);
    m_tooltip.RelayEvent(&msg);
}

bool CSkinButton::isUnderCursorAt(LPARAM clientPoint) const
{
    POINT pt = {GET_X_LPARAM(clientPoint), GET_Y_LPARAM(clientPoint)};
    ClientToScreen(m_hWnd, &pt);
    return WindowFromPoint(pt) == m_hWnd;
}

void CSkinButton::onLButtonDown()
{
    if (m_bHover) {
        TRACKMOUSEEVENT tme = {sizeof tme, TME_CANCEL | TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&tme))
            m_bHover = 0;
    }
    Default(); // the system button captures the mouse, shows itself pushed, takes the focus
    m_bTracking = 1;
}

void CSkinButton::onLButtonUp(LPARAM lParam)
{
    if (m_nType != TypePush && isUnderCursorAt(lParam))
        SendMessage(BM_SETCHECK, m_nType == TypeCheckBox ? !m_bChecked : 1);
    m_bTracking = 0;
    Default(); // sends the click notification when released over the button
}

void CSkinButton::onMouseMove(LPARAM lParam)
{
    if (m_bTracking && GetCapture() == m_hWnd) {
        // A held press: the pushed look follows the cursor on and off the button.
        bool over = isUnderCursorAt(lParam);
        bool pushed = (GetState() & BST_PUSHED) != 0;
        if (over != pushed) {
            SetState(over);
            invalidateAll();
        }
    } else if (!m_bHover) {
        TRACKMOUSEEVENT tme = {sizeof tme, TME_LEAVE, m_hWnd, 0};
        if (TrackMouseEvent(&tme)) {
            m_bHover = 1;
            invalidateAll();
        }
    }
    Default();
}

void CSkinButton::onSetCheck(WPARAM check)
{
    m_bChecked = (m_nType != TypePush && check) ? 1 : 0;
    if (m_nType == TypeRadio && m_bChecked)
        uncheckGroup();
    invalidateAll();
}

void CSkinButton::uncheckGroup()
{
    HWND parent = GetParent(m_hWnd);
    if (!parent)
        return;
    // The walk ends back at this button; when this button is not part of the
    // walk (hidden or disabled), it ends at the first control met instead,
    // and a cap guards against any other cycle.
    HWND first = GetNextDlgGroupItem(parent, m_hWnd, FALSE);
    HWND item = first;
    for (int guard = 0; item && item != m_hWnd && guard < 4096; ++guard) {
        ::PostMessageW(item, WM_USER_UNCHECK, 0, 0);
        item = GetNextDlgGroupItem(parent, item, FALSE);
        if (item == first)
            break;
    }
}

bool CSkinButton::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    *result = 0;
    switch (message) {
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_LBUTTONDOWN:
        relayToTooltip(message, wParam, lParam);
        onLButtonDown();
        return true;
    case WM_LBUTTONUP:
        relayToTooltip(message, wParam, lParam);
        onLButtonUp(lParam);
        return true;
    case WM_LBUTTONDBLCLK:
        // A double click counts as a second press.
        SendMessage(WM_LBUTTONDOWN, wParam, lParam);
        return true;
    case WM_MOUSEMOVE:
        relayToTooltip(message, wParam, lParam);
        onMouseMove(lParam);
        return true;
    case WM_MOUSELEAVE:
        m_bHover = 0;
        invalidateAll();
        return true;
    case WM_KILLFOCUS:
        if (GetCapture() == m_hWnd) {
            ReleaseCapture();
            m_bTracking = 0;
        }
        *result = Default();
        return true;
    case WM_KEYDOWN:
        setFocusCues(true);
        if (m_nType != TypePush && wParam == VK_SPACE)
            SendMessage(BM_SETCHECK, m_nType == TypeCheckBox ? !m_bChecked : 1);
        *result = Default();
        return true;
    case BM_SETCHECK:
        onSetCheck(wParam);
        return true;
    case BM_GETCHECK:
        *result = m_bChecked;
        return true;
    case WM_UPDATEUISTATE:
        // The focus face comes and goes with the window's keyboard cues.
        *result = Default();
        if (HIWORD(wParam) & UISF_HIDEFOCUS) {
            if (LOWORD(wParam) == UIS_SET)
                setFocusCues(false);
            else if (LOWORD(wParam) == UIS_CLEAR)
                setFocusCues(true);
        }
        return true;
    case WM_GETDLGCODE: {
        // The dialog manager asks with every key it is given (Tab, arrows,
        // Space): the keyboard is in use, whether or not the platform keeps
        // the window's cues (Wine does not).
        const MSG* key = reinterpret_cast<const MSG*>(lParam);
        if (key && (key->message == WM_KEYDOWN || key->message == WM_SYSKEYDOWN))
            setFocusCues(true);
        *result = Default();
        return true;
    }
    case WM_USER_UNCHECK:
        if (m_bChecked) {
            m_bChecked = 0;
            invalidateAll();
        }
        return true;
    default:
        return CButton::OnWndMsg(message, wParam, lParam, result);
    }
}

bool CSkinButton::syncPushedLook()
{
    POINT cursor;
    if (!m_bTracking || GetCapture() != m_hWnd || !GetCursorPos(&cursor))
        return false;
    bool over = WindowFromPoint(cursor) == m_hWnd;
    bool pushed = (GetState() & BST_PUSHED) != 0;
    if (over == pushed)
        return false;
    SetState(over); // repaints the button in its new state
    return true;
}

void CSkinButton::DrawItem(DRAWITEMSTRUCT* dis)
{
    if (!dis || syncPushedLook())
        return;
    HDC dc = dis->hDC;
    RECT r = dis->rcItem;
    UINT state = dis->itemState;
    RECT text = r;
    text.left += m_nFocusOffset + 2;
    text.right -= m_nFocusOffset + 2;
    SetBkMode(dc, TRANSPARENT);

    if (state & ODS_DISABLED) {
        if (m_bmpDisabled)
            drawFace(dc, r, m_bmpDisabled.get());
        else
            fillFace(dc, r);
        if (m_bBorder)
            DrawEdge(dc, &r, EDGE_RAISED, BF_RECT);
        // Embossed caption: highlight, then grey text one pixel up and left.
        SetTextColor(dc, GetSysColor(COLOR_BTNHIGHLIGHT));
        DrawTextW(dc, m_szCaption, -1, &text, kTextFormat);
        OffsetRect(&text, -1, -1);
        SetTextColor(dc, GetSysColor(COLOR_GRAYTEXT));
        DrawTextW(dc, m_szCaption, -1, &text, kTextFormat);
        return;
    }

    UINT edge = EDGE_RAISED;
    if ((state & ODS_SELECTED) || m_bChecked) {
        if (m_bmpDown)
            drawFace(dc, r, m_bmpDown.get());
        else
            fillFace(dc, r);
        OffsetRect(&text, 1, 1);
        edge = EDGE_SUNKEN;
    } else if (m_bmpNormal) {
        HBITMAP face = m_bmpNormal.get();
        if (m_bHover && m_bmpOver)
            face = m_bmpOver.get();
        else if (showsFocus(state) && m_bmpFocus)
            face = m_bmpFocus.get();
        drawFace(dc, r, face);
    } else {
        fillFace(dc, r); // no normal picture: a plain face whatever else exists
    }
    if (m_bBorder)
        DrawEdge(dc, &r, edge, BF_RECT);
    if (showsFocus(state) && m_nFocusOffset > 0) {
        RECT focus = r;
        InflateRect(&focus, -m_nFocusOffset, -m_nFocusOffset);
        DrawFocusRect(dc, &focus);
    }
    SetTextColor(dc, m_crText);
    DrawTextW(dc, m_szCaption, -1, &text, kTextFormat);
}

void CSkinButton::drawFace(HDC dc, const RECT& r, HBITMAP face) const
{
    BITMAP bm = {};
    if (!face || !GetObjectA(face, sizeof bm, &bm) || bm.bmWidth <= 0 || bm.bmHeight <= 0)
        return;
    CMemDCOwner mem(dc);
    CSelectGuard select(mem.get(), face);
    if (!select.ok())
        return;
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    if (m_nDrawMode == DrawTiled) {
        for (int y = r.top; y < r.bottom; y += bm.bmHeight)
            for (int x = r.left; x < r.right; x += bm.bmWidth)
                BitBlt(dc, x, y, std::min<int>(bm.bmWidth, r.right - x), std::min<int>(bm.bmHeight, r.bottom - y),
                       mem.get(), 0, 0, SRCCOPY);
    } else if (m_bmpMask) {
        drawMasked(dc, r, mem.get(), bm);
    } else if (m_nDrawMode == DrawStretched) {
        StretchBlt(dc, r.left, r.top, width, height, mem.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCCOPY);
    } else {
        BitBlt(dc, r.left, r.top, std::min<int>(bm.bmWidth, width), std::min<int>(bm.bmHeight, height), mem.get(), 0, 0,
               SRCCOPY);
    }
}

void CSkinButton::drawMasked(HDC dc, const RECT& r, HDC faceDC, const BITMAP& bm) const
{
    // face XOR, mask AND, face XOR: where the mask is white the old content
    // stays, where it is black the face shows.
    int width = r.right - r.left;
    int height = r.bottom - r.top;
    CMemDCOwner buffer(dc);
    CBitmapOwner bitmap(CreateCompatibleBitmap(dc, width, height));
    CSelectGuard selectBuffer(buffer.get(), bitmap.get());
    CMemDCOwner maskDC(dc);
    CSelectGuard selectMask(maskDC.get(), m_bmpMask.get());
    if (!selectBuffer.ok() || !selectMask.ok())
        return;
    HDC buf = buffer.get();
    BitBlt(buf, 0, 0, width, height, dc, r.left, r.top, SRCCOPY);
    if (m_nDrawMode == DrawStretched) {
        StretchBlt(buf, 0, 0, width, height, faceDC, 0, 0, bm.bmWidth, bm.bmHeight, SRCINVERT);
        StretchBlt(buf, 0, 0, width, height, maskDC.get(), 0, 0, bm.bmWidth, bm.bmHeight, SRCAND);
        StretchBlt(buf, 0, 0, width, height, faceDC, 0, 0, bm.bmWidth, bm.bmHeight, SRCINVERT);
    } else {
        BitBlt(buf, 0, 0, bm.bmWidth, bm.bmHeight, faceDC, 0, 0, SRCINVERT);
        BitBlt(buf, 0, 0, bm.bmWidth, bm.bmHeight, maskDC.get(), 0, 0, SRCAND);
        BitBlt(buf, 0, 0, bm.bmWidth, bm.bmHeight, faceDC, 0, 0, SRCINVERT);
    }
    BitBlt(dc, r.left, r.top, width, height, buf, 0, 0, SRCCOPY);
}
