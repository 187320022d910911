#pragma once
// The application object and the main routine, in the manner of a dialog
// application: one global object derived from CWinApp, constructed during
// static initialisation; the main routine calls its InitInstance and, when
// that returns FALSE, ends the process with ExitInstance's result.

#include <windows.h>

class CWnd;

class CWinApp {
public:
    explicit CWinApp(const char* appName = nullptr);
    virtual ~CWinApp();
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // Start-up hook. Returning FALSE ends the application.
    virtual BOOL InitInstance();
    // Returns the process exit status (m_nExitCode unless overridden).
    virtual int ExitInstance();

    // Framework set-up for dialog applications: registers the common control
    // classes the dialogs use (progress bar, tooltips).
    void Enable3dControls();

    HINSTANCE m_hInstance = nullptr;
    CWnd* m_pMainWnd = nullptr;
    const char* m_pszAppName = nullptr;
    // The process exit status, set by the application as the run ends.
    int m_nExitCode = 0;
};

CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
HINSTANCE AfxGetResourceHandle();

// Framework set-up for hosting controls in dialogs: prepares COM on the
// main thread (the URL moniker service and OLE controls need it). Balanced
// at exit by the main routine.
BOOL AfxEnableControlContainer();

// The main routine: WinMain calls it.
int AfxWinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow);
