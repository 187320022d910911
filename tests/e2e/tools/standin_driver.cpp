// TEMPORARY: runs the update dialog for an INI file given on the command
// line, until the launcher is merged. Usage: standin_driver INI [/s] [/w]
#include "app/Handover.h"
#include "framework/WinApp.h"

#include <shellapi.h>

#include <stdlib.h>

class CDriverApp : public CWinApp {
public:
    BOOL InitInstance() override
    {
        AfxEnableControlContainer();
        Enable3dControls();
        bool silent = false, wait = false;
        for (int i = 2; i < __argc; ++i) {
            silent |= !lstrcmpiA(__argv[i], "/s") || !lstrcmpiA(__argv[i], "-s");
            wait |= !lstrcmpiA(__argv[i], "/w") || !lstrcmpiA(__argv[i], "-w");
        }
        m_nExitCode = runUpdateDialog(__argc > 1 ? __argv[1] : "", silent, wait);
        return FALSE;
    }
};
CDriverApp theApp;
