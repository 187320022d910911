#include "framework/Dialog.h"

#include "framework/WinApp.h"

namespace {
// The dialog being created on this thread, and the hook that takes its
// window over at creation.
thread_local CDialog* t_creating = nullptr;
thread_local HHOOK t_hook = nullptr;
// Modal loops running on this thread, one inside the other.
thread_local int t_modalDepth = 0;
} // namespace

void DDX_Control(CDataExchange* pDX, int id, CWnd& control)
{
    if (!pDX || !pDX->m_pDlgWnd || control.m_hWnd)
        return;
    control.SubclassDlgItem(static_cast<UINT>(id), pDX->m_pDlgWnd);
}

CDialog::CDialog(UINT idTemplate, CWnd* parent) : m_nIDTemplate(idTemplate), m_pParentWnd(parent) {}

CDialog::~CDialog()
{
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND hwnd = m_hWnd;
        UnsubclassWindow();
        ::DestroyWindow(hwnd);
    }
}

LRESULT CALLBACK CDialog::cbtHook(int code, WPARAM wParam, LPARAM lParam)
{
    if (code == HCBT_CREATEWND && t_creating) {
        CDialog* dlg = t_creating;
        t_creating = nullptr;
        dlg->attachDuringCreate(reinterpret_cast<HWND>(wParam));
    }
    return ::CallNextHookEx(t_hook, code, wParam, lParam);
}

INT_PTR CALLBACK CDialog::dlgProc(HWND hwnd, UINT message, WPARAM, LPARAM)
{
    // Every message has been through the wrapper's WindowProc already; the
    // dialog manager asks here only for what it handles itself.
    if (message == WM_INITDIALOG) {
        CDialog* dlg = static_cast<CDialog*>(FromHandlePermanent(hwnd));
        return dlg ? dlg->OnInitDialog() : TRUE;
    }
    return FALSE;
}

INT_PTR CDialog::DoModal()
{
    HINSTANCE inst = AfxGetResourceHandle();
    HRSRC res = ::FindResourceW(inst, MAKEINTRESOURCEW(m_nIDTemplate), MAKEINTRESOURCEW(5) /* RT_DIALOG */);
    HGLOBAL mem = res ? ::LoadResource(inst, res) : nullptr;
    auto* tmpl = mem ? static_cast<LPCDLGTEMPLATEW>(::LockResource(mem)) : nullptr;
    if (!tmpl)
        return -1;

    HWND parent = m_pParentWnd ? m_pParentWnd->m_hWnd : nullptr;
    bool parentWasEnabled = parent && ::IsWindowEnabled(parent);

    m_nModalResult = -1;
    m_bInModal = true;
    t_creating = this;
    t_hook = ::SetWindowsHookExW(WH_CBT, &CDialog::cbtHook, nullptr, ::GetCurrentThreadId());
    HWND hwnd = ::CreateDialogIndirectParamW(inst, tmpl, parent, &CDialog::dlgProc, 0);
    ::UnhookWindowsHookEx(t_hook);
    t_hook = nullptr;
    t_creating = nullptr;
    if (!hwnd) {
        m_bInModal = false;
        return -1;
    }
    if (parentWasEnabled)
        ::EnableWindow(parent, FALSE);
    // A template without WS_VISIBLE (an About box) is shown here, as the
    // system's own modal dialogs do. The show passes through the window's
    // procedure, which may still keep the window hidden.
    if (m_bInModal && m_hWnd && !(::GetWindowLongPtrW(m_hWnd, GWL_STYLE) & WS_VISIBLE))
        ::ShowWindow(m_hWnd, SW_SHOWNORMAL);

    MSG msg;
    ++t_modalDepth;
    while (m_bInModal) {
        BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
        if (got == 0 || got == -1) {
            // WM_QUIT (or a broken queue) ends the modal run. Inside another
            // modal loop (an About box over the update window) it is posted
            // again, so that the outer run ends too.
            m_nModalResult = -1;
            if (got == 0 && t_modalDepth > 1)
                ::PostQuitMessage(static_cast<int>(msg.wParam));
            break;
        }
        if (!m_hWnd || !::IsDialogMessageW(m_hWnd, &msg)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    --t_modalDepth;
    m_bInModal = false;
    if (parentWasEnabled)
        ::EnableWindow(parent, TRUE);
    if (m_hWnd && ::IsWindow(m_hWnd)) {
        HWND own = m_hWnd;
        ::DestroyWindow(own);
    }
    return m_nModalResult;
}

void CDialog::EndDialog(int result)
{
    m_nModalResult = result;
    if (m_bInModal) {
        m_bInModal = false;
        ::PostMessageW(m_hWnd, WM_NULL, 0, 0); // wakes the loop
    }
}

BOOL CDialog::UpdateData(BOOL saveAndValidate)
{
    CDataExchange dx = {this, saveAndValidate};
    DoDataExchange(&dx);
    return TRUE;
}

BOOL CDialog::OnInitDialog()
{
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

bool CDialog::OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    if (message == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        switch (LOWORD(wParam)) {
        case IDOK:
            OnOK();
            *result = 0;
            return true;
        case IDCANCEL:
            OnCancel();
            *result = 0;
            return true;
        }
    }
    return CWnd::OnWndMsg(message, wParam, lParam, result);
}
