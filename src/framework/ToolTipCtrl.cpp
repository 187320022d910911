#include "framework/ToolTipCtrl.h"

CToolTipCtrl::~CToolTipCtrl()
{
    if (m_hWnd && ::IsWindow(m_hWnd))
        DestroyWindow(); // WM_NCDESTROY lets go of the window
}

BOOL CToolTipCtrl::Create(CWnd* owner, DWORD style)
{
    if (m_hWnd)
        return FALSE;
    HWND hwnd = ::CreateWindowExW(0, TOOLTIPS_CLASSW, nullptr, WS_POPUP | style, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, owner ? owner->m_hWnd : nullptr, nullptr,
                                  ::GetModuleHandleW(nullptr), nullptr);
    if (!hwnd)
        return FALSE;
    if (!SubclassWindow(hwnd)) {
        ::DestroyWindow(hwnd);
        return FALSE;
    }
    return TRUE;
}

void CToolTipCtrl::fillToolInfo(TOOLINFOW& ti, CWnd* tool, const wchar_t* text) const
{
    ti = TOOLINFOW();
    // The size every common controls version accepts (without lpReserved).
    ti.cbSize = TTTOOLINFOW_V2_SIZE;
    ti.uFlags = TTF_IDISHWND;
    HWND toolWnd = tool ? tool->m_hWnd : nullptr;
    HWND parent = toolWnd ? ::GetParent(toolWnd) : nullptr;
    ti.hwnd = parent ? parent : toolWnd;
    ti.uId = reinterpret_cast<UINT_PTR>(toolWnd);
    ti.lpszText = const_cast<wchar_t*>(text ? text : L""); // the control copies it
}

BOOL CToolTipCtrl::AddTool(CWnd* tool, const wchar_t* text)
{
    if (!m_hWnd || !tool || !tool->m_hWnd)
        return FALSE;
    TOOLINFOW ti;
    fillToolInfo(ti, tool, text);
    return static_cast<BOOL>(SendMessage(TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&ti)));
}

void CToolTipCtrl::UpdateTipText(const wchar_t* text, CWnd* tool)
{
    if (!m_hWnd || !tool || !tool->m_hWnd)
        return;
    TOOLINFOW ti;
    fillToolInfo(ti, tool, text);
    SendMessage(TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&ti));
}

void CToolTipCtrl::Activate(BOOL activate)
{
    if (m_hWnd)
        SendMessage(TTM_ACTIVATE, static_cast<WPARAM>(activate));
}

void CToolTipCtrl::RelayEvent(MSG* msg)
{
    if (m_hWnd)
        SendMessage(TTM_RELAYEVENT, 0, reinterpret_cast<LPARAM>(msg));
}
