#include "framework/Wnd.h"

namespace {
const wchar_t kWndProp[] = L"Veldrun.CWnd";
}

CWnd::~CWnd()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        UnsubclassWindow();
}

CWnd* CWnd::FromHandlePermanent(HWND hwnd)
{
    return hwnd ? static_cast<CWnd*>(::GetPropW(hwnd, kWndProp)) : nullptr;
}

BOOL CWnd::SubclassWindow(HWND hwnd)
{
    if (!hwnd || m_hWnd || FromHandlePermanent(hwnd))
        return FALSE;
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kWndProp, this);
    PreSubclassWindow();
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::wndProcThunk)));
    return TRUE;
}

void CWnd::attachDuringCreate(HWND hwnd)
{
    m_hWnd = hwnd;
    ::SetPropW(hwnd, kWndProp, this);
    m_pfnSuper = reinterpret_cast<WNDPROC>(
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CWnd::wndProcThunk)));
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent)
{
    if (!parent || !parent->m_hWnd)
        return FALSE;
    return SubclassWindow(::GetDlgItem(parent->m_hWnd, static_cast<int>(id)));
}

HWND CWnd::UnsubclassWindow()
{
    HWND hwnd = m_hWnd;
    if (!hwnd)
        return nullptr;
    if (m_pfnSuper)
        ::SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(m_pfnSuper));
    ::RemovePropW(hwnd, kWndProp);
    m_pfnSuper = nullptr;
    m_hWnd = nullptr;
    return hwnd;
}

BOOL CWnd::DestroyWindow()
{
    if (!m_hWnd)
        return FALSE;
    return ::DestroyWindow(m_hWnd);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (m_pfnSuper)
        return ::CallWindowProcW(m_pfnSuper, m_hWnd, message, wParam, lParam);
    return ::DefWindowProcW(m_hWnd, message, wParam, lParam);
}

LRESULT CWnd::Default()
{
    return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    return DefWindowProc(message, wParam, lParam);
}

bool CWnd::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    HWND child = nullptr;
    switch (message) {
    case WM_DRAWITEM:
        child = reinterpret_cast<DRAWITEMSTRUCT*>(lParam)->hwndItem;
        break;
    case WM_MEASUREITEM:
        child = ::GetDlgItem(m_hWnd, static_cast<int>(reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->CtlID));
        break;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT:
        child = reinterpret_cast<HWND>(lParam);
        break;
    default:
        return false;
    }
    CWnd* wnd = FromHandlePermanent(child);
    return wnd && wnd != this && wnd->OnChildNotify(message, wParam, lParam, result);
}

bool CWnd::OnChildNotify(UINT, WPARAM, LPARAM, LRESULT*)
{
    return false;
}

LRESULT CALLBACK CWnd::wndProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    CWnd* wnd = FromHandlePermanent(hwnd);
    if (!wnd)
        return ::DefWindowProcW(hwnd, message, wParam, lParam);
    CurrentMsg saved = wnd->m_current;
    wnd->m_current = {message, wParam, lParam};
    LRESULT result = wnd->WindowProc(message, wParam, lParam);
    wnd->m_current = saved;
    if (message == WM_NCDESTROY) {
        // The window is gone: give back the procedure and let go of it.
        wnd->UnsubclassWindow();
        wnd->PostNcDestroy();
    }
    return result;
}
