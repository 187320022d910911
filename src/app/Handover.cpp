#include "app/Handover.h"

#include "framework/WinApp.h"
#include "update/UpdateDlg.h"

int runUpdateDialog(CRunDriver& run, const char* iniPath, const char* runDir, bool wait, const CPackageView* ownPackage,
                    const IProfileReader* profile)
{
    UpdateLaunch launch;
    launch.iniPath = iniPath ? iniPath : "";
    launch.runDir = runDir ? runDir : "";
    launch.wait = wait;
    launch.ownPackage = ownPackage;
    launch.profile = profile;
    CUpdateDlg dlg(run, launch);
    CWinApp* app = AfxGetApp();
    if (app)
        app->m_pMainWnd = &dlg;
    dlg.DoModal();
    if (app)
        app->m_pMainWnd = nullptr;
    // The dialog's destructor (end of this scope) stops a remaining worker
    // and traces the end of the program.
    return run.exitStatus();
}
