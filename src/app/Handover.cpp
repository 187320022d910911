#include "app/Handover.h"

#include "app/ExitStatus.h"

int runUpdateDialog(const char* iniPath, bool silent, bool wait)
{
    // This is where the update dialog runs: construct CUpdateDlg with no
    // parent, copy iniPath into m_szIniPath and the flags into m_bSilent and
    // m_bWait, make it the application's main window, run it modally and
    // destroy it; the run's outcome becomes the exit status. Until the
    // dialog is part of the program, start-up ends here.
    (void)iniPath;
    (void)silent;
    (void)wait;
    return kExitPatchStarted;
}
