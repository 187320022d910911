#include "app/Handover.h"

#include "common/FixedBuf.h"
#include "framework/WinApp.h"
#include "update/UpdateDlg.h"

int runUpdateDialog(CUpdateRun& run, const char* iniPath, const char* runDir, bool silent, bool wait,
                    const CPackageView* ownPackage)
{
    CUpdateDlg dlg;
    dlg.m_bSilent = silent ? 1 : 0;
    dlg.m_bWait = wait ? 1 : 0;
    dlg.m_run = run;
    copyBounded(dlg.m_szIniPath, sizeof dlg.m_szIniPath, iniPath);
    copyBounded(dlg.m_szRunDir, sizeof dlg.m_szRunDir, runDir);
    dlg.m_pOwnPackage = ownPackage && ownPackage->isHeld() ? ownPackage : nullptr;
    CWinApp* app = AfxGetApp();
    if (app)
        app->m_pMainWnd = &dlg;
    dlg.DoModal();
    if (app)
        app->m_pMainWnd = nullptr;
    run = dlg.run();
    // The dialog's destructor (end of this scope) stops a remaining worker
    // and traces the end of the program.
    return run.exitStatus();
}
