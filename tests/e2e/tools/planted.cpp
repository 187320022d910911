// A DLL planted by a process of the user under a platform DLL's name
// (bcrypt.dll, urlmon.dll, version.dll...). Loaded, it appends its own path
// and the program's to the file named by VELDRUN_PLANTED_LOG and fails the
// load, as a test must see it, not run anything.
#include <windows.h>

#include <cstdio>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char log[MAX_PATH] = {};
    char own[MAX_PATH] = {};
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(self, own, sizeof own);
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    if (GetEnvironmentVariableA("VELDRUN_PLANTED_LOG", log, sizeof log) > 0) {
        if (FILE* f = std::fopen(log, "ab")) {
            std::fprintf(f, "%s|%s\n", own, exe);
            std::fclose(f);
        }
    }
    return TRUE;
}
