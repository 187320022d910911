#include "ui/StatusLine.h"

#include "common/FixedBuf.h"
#include "common/SystemDll.h"
#include "ui/WindowPainting.h"

#include <oleacc.h>

namespace {

// By value: taking them from the import library would import oleacc, which
// is no KnownDLL and must come from System32 only.
const GUID kClsidAccPropServices = {0xb5f8350b, 0x0548, 0x48b1, {0xa6, 0xee, 0x88, 0xbd, 0x00, 0xb4, 0xa5, 0xe7}};
const GUID kIidAccPropServices = {0x6e26e776, 0x04f0, 0x495d, {0x80, 0xe4, 0x33, 0x30, 0x35, 0x2e, 0x31, 0x69}};
const GUID kLiveSettingProperty = {0xc12bcd8e, 0x2a8e, 0x4950, {0x8a, 0xe7, 0x36, 0x25, 0x11, 0x1d, 0x58, 0xeb}};
const LONG kLivePolite = 1;
// Windows 8's event; the build targets Windows 7 headers.
const DWORD kEventLiveRegionChanged = 0x8019;

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);

IAccPropServices* createPropServices()
{
    auto* getClassObject = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void (*)()>(systemProc(L"oleacc.dll", "DllGetClassObject")));
    if (!getClassObject)
        return nullptr;
    IClassFactory* factory = nullptr;
    if (FAILED(getClassObject(kClsidAccPropServices, IID_IClassFactory, reinterpret_cast<void**>(&factory))) ||
        !factory)
        return nullptr;
    IAccPropServices* props = nullptr;
    HRESULT hr = factory->CreateInstance(nullptr, kIidAccPropServices, reinterpret_cast<void**>(&props));
    factory->Release();
    return SUCCEEDED(hr) ? props : nullptr;
}

} // namespace

CStatusLine::~CStatusLine()
{
    releaseLiveRegion();
}

void CStatusLine::PreSubclassWindow()
{
    m_pProps = createPropServices();
    if (!m_pProps)
        return;
    VARIANT polite = {};
    polite.vt = VT_I4;
    polite.lVal = kLivePolite;
    // Wine answers E_NOTIMPL: the control is then read through its name
    // changes alone.
    m_bLive = SUCCEEDED(
        m_pProps->SetHwndProp(m_hWnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, kLiveSettingProperty, polite));
    if (!m_bLive) {
        m_pProps->Release();
        m_pProps = nullptr;
    }
}

void CStatusLine::releaseLiveRegion()
{
    if (!m_pProps)
        return;
    if (m_hWnd) {
        MSAAPROPID live = kLiveSettingProperty;
        m_pProps->ClearHwndProps(m_hWnd, static_cast<DWORD>(OBJID_CLIENT), CHILDID_SELF, &live, 1);
    }
    m_pProps->Release();
    m_pProps = nullptr;
    m_bLive = false;
}

void CStatusLine::setText(const wchar_t* text)
{
    if (!IsWindow())
        return;
    wchar_t bounded[kMaxText] = {};
    for (size_t i = 0; text && i + 1 < kMaxText && text[i]; ++i)
        bounded[i] = text[i];
    ::SetWindowTextW(m_hWnd, bounded);
    NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
    if (m_bLive)
        NotifyWinEvent(kEventLiveRegionChanged, m_hWnd, OBJID_CLIENT, CHILDID_SELF);
}

void CStatusLine::setLook(unsigned dpi, bool overPicture)
{
    m_dpi = dpi ? dpi : 96;
    m_bOverPicture = overPicture;
    repaintWithBackground();
}

void CStatusLine::repaintWithBackground() const
{
    HWND parent = GetParent(m_hWnd);
    if (!parent) {
        Invalidate(TRUE);
        return;
    }
    // The parent's erase paints the picture under the text; the status line
    // is repainted after it.
    RECT r;
    GetWindowRect(&r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    ::InvalidateRect(parent, &r, TRUE);
}

bool CStatusLine::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (message) {
    case WM_SETTEXT:
        // Stored without the static's own immediate repaint, which would
        // draw the new text over the old.
        *result = ::DefWindowProcW(m_hWnd, message, wParam, lParam);
        repaintWithBackground();
        return true;
    case WM_ERASEBKGND:
        *result = 1;
        return true;
    case WM_NCDESTROY:
        releaseLiveRegion();
        break;
    default:
        break;
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}

bool CStatusLine::OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message != WM_DRAWITEM)
        return CWnd::OnChildNotify(message, wParam, lParam, result);
    draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return true;
}

void CStatusLine::draw(const DRAWITEMSTRUCT& dis) const
{
    if (!m_bOverPicture)
        return;
    wchar_t text[kMaxText] = {};
    ::GetWindowTextW(m_hWnd, text, kMaxText);
    drawStatusText(dis.hDC, dis.rcItem, text, m_dpi);
}
