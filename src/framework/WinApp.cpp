#include "framework/WinApp.h"

#include "common/SystemDll.h"

#include <commctrl.h>
#include <objbase.h>

namespace {
CWinApp* g_app = nullptr;
bool g_comInitialized = false;
} // namespace

CWinApp::CWinApp(const char* appName) : m_pszAppName(appName)
{
    g_app = this;
}

CWinApp::~CWinApp()
{
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance()
{
    return TRUE;
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::Enable3dControls()
{
    INITCOMMONCONTROLSEX icc = {sizeof icc,
                                ICC_PROGRESS_CLASS | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    // comctl32 is no KnownDLL: called, not imported, so that it loads only
    // now, after restrictDllSearch, from System32 or, through the manifest's
    // activation context, as the common controls' version 6.
    SYSTEM_CALL(L"comctl32.dll", InitCommonControlsEx, FALSE, (&icc));
}

CWinApp* AfxGetApp()
{
    return g_app;
}

HINSTANCE AfxGetInstanceHandle()
{
    return g_app && g_app->m_hInstance ? g_app->m_hInstance : GetModuleHandleA(nullptr);
}

HINSTANCE AfxGetResourceHandle()
{
    return AfxGetInstanceHandle();
}

BOOL AfxEnableControlContainer()
{
    if (!g_comInitialized)
        g_comInitialized = SUCCEEDED(OleInitialize(nullptr));
    return g_comInitialized;
}

int AfxWinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    CWinApp* app = AfxGetApp();
    if (!app)
        return -1;
    app->m_hInstance = hInstance;
    // A dialog application runs no message loop of its own: its dialogs run
    // theirs inside InitInstance, and the process ends when the hook returns.
    app->InitInstance();
    int code = app->ExitInstance();
    if (g_comInitialized) {
        OleUninitialize();
        g_comInitialized = false;
    }
    return code;
}
