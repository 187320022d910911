#include "common/SystemDll.h"
#include "framework/WinApp.h"

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    // Before anything loads a DLL that is not a KnownDLL: from here on only
    // System32 is searched, never the package's folder.
    restrictDllSearch();
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
