#pragma once
// CWnd: a window wrapper that takes over an existing window by subclassing
// and routes its messages to overridable handlers.
//
// Every message reaches WindowProc first; the default WindowProc offers it
// to OnWndMsg (the class's message map: a switch that calls handlers) and,
// when that does not handle it, to DefWindowProc, which is the window's
// original procedure. Handlers call Default() to get the original
// processing of the message being handled.
//
// WM_DRAWITEM, WM_MEASUREITEM and WM_CTLCOLOR* sent to a parent are
// reflected to the child's OnChildNotify, so a control can draw itself.

#include <windows.h>

class CWnd {
public:
    CWnd() = default;
    virtual ~CWnd();
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }
    operator HWND() const { return m_hWnd; }

    // Takes over hwnd: PreSubclassWindow runs first, then the window's
    // procedure is replaced. Fails for a null window or one already taken.
    BOOL SubclassWindow(HWND hwnd);
    BOOL SubclassDlgItem(UINT id, CWnd* parent);
    // Gives the window its original procedure back; returns the window.
    HWND UnsubclassWindow();

    static CWnd* FromHandlePermanent(HWND hwnd);

    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The original processing of any message.
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    // The original processing of the message now being handled.
    LRESULT Default();

    // Thin helpers over the window functions.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::SendMessageW(m_hWnd, message, wParam, lParam);
    }
    BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0) const
    {
        return ::PostMessageW(m_hWnd, message, wParam, lParam);
    }
    void Invalidate(BOOL erase = TRUE) const { ::InvalidateRect(m_hWnd, nullptr, erase); }
    void GetClientRect(RECT* rc) const { ::GetClientRect(m_hWnd, rc); }
    void GetWindowRect(RECT* rc) const { ::GetWindowRect(m_hWnd, rc); }
    DWORD GetStyle() const { return static_cast<DWORD>(::GetWindowLongPtrW(m_hWnd, GWL_STYLE)); }
    HWND GetDlgItem(int id) const { return ::GetDlgItem(m_hWnd, id); }
    BOOL ShowWindow(int cmd) const { return ::ShowWindow(m_hWnd, cmd); }
    BOOL IsWindow() const { return m_hWnd && ::IsWindow(m_hWnd); }
    BOOL DestroyWindow();

protected:
    // Runs before the procedure is replaced; m_hWnd is already set.
    virtual void PreSubclassWindow() {}
    // The message map. Returns true when handled; *result then holds the
    // message's result. The default handles reflection to children.
    virtual bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // A message reflected from the parent (WM_DRAWITEM and the like).
    virtual bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
    // Called after the window has received WM_NCDESTROY and been let go.
    virtual void PostNcDestroy() {}

    // Lets a wrapper created before its window (a dialog) take the window
    // over from inside its creation.
    void attachDuringCreate(HWND hwnd);

private:
    static LRESULT CALLBACK wndProcThunk(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    WNDPROC m_pfnSuper = nullptr;
    struct CurrentMsg {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };
    CurrentMsg m_current = {0, 0, 0};
};
