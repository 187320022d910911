#include "app/UpdateApp.h"

#include "common/Trace.h"

CUpdateApp theApp;

BOOL CUpdateApp::InitInstance()
{
    traceLog("[Veldrun] start\n");
    return FALSE;
}
