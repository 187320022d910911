#include "common/SystemDll.h"
#include "framework/WinApp.h"

// The program's load configuration. DependentLoadFlags
// (LOAD_LIBRARY_SEARCH_SYSTEM32; the field winnt.h still calls Reserved1)
// makes Windows (10 1607 and later) look for the DLLs that imported DLLs
// need in System32 only, never in the program's folder, before any of the
// program's code runs. ld links the structure but leaves the header's entry
// empty: scripts/set-load-config.py fills it after linking. The size is the
// structure's with the SafeSEH fields, left empty (no handler table: nothing
// restricted).
namespace {
constexpr IMAGE_LOAD_CONFIG_DIRECTORY loadConfig()
{
    IMAGE_LOAD_CONFIG_DIRECTORY config = {};
    config.Size = sizeof config;
    config.Reserved1 = LOAD_LIBRARY_SEARCH_SYSTEM32; // DependentLoadFlags
    return config;
}
} // namespace

extern "C" constexpr IMAGE_LOAD_CONFIG_DIRECTORY _load_config_used __attribute__((used)) = loadConfig();

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine, int nCmdShow)
{
    // Before anything loads a DLL that is not a KnownDLL: from here on only
    // System32 is searched, never the package's folder.
    restrictDllSearch();
    return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}
