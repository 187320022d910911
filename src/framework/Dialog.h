#pragma once
// CDialog: a dialog made from a template resource and run modally.
//
// The wrapper takes the dialog window over while it is being created, so
// WindowProc sees every message from the first one on, before the dialog
// manager's default processing. DoModal runs its own message loop until
// EndDialog, or until a WM_QUIT arrives (posted to the thread or to the
// window), which ends the modal run at once.

#include "framework/Wnd.h"

class CDialog;

struct CDataExchange {
    CDialog* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds control `id` of the dialog to `control` by subclassing it.
void DDX_Control(CDataExchange* pDX, int id, CWnd& control);

class CDialog : public CWnd {
public:
    explicit CDialog(UINT idTemplate, CWnd* parent = nullptr);
    ~CDialog() override;

    // Creates the dialog and runs it until it ends. Returns the code given to
    // EndDialog, or -1 when the dialog could not be created or the run was
    // ended by WM_QUIT.
    virtual INT_PTR DoModal();
    void EndDialog(int result);

    // Runs the data exchange; FALSE direction binds controls.
    BOOL UpdateData(BOOL saveAndValidate = TRUE);

    UINT m_nIDTemplate;

protected:
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange*) {}
    virtual void OnOK();
    virtual void OnCancel();

    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    CWnd* m_pParentWnd;

private:
    static INT_PTR CALLBACK dlgProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK cbtHook(int code, WPARAM wParam, LPARAM lParam);
    bool m_bInModal = false;
    INT_PTR m_nModalResult = -1;
};
