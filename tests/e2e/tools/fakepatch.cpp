// A stand-in for a downloaded patch. It appends one line to the file named
// by VELDRUN_FAKEPATCH_LOG:
//   cmdline=<its command line>|show=<wShowWindow or -1>|hidden=<0 or 1>
// then sleeps VELDRUN_FAKEPATCH_SLEEP_MS milliseconds and exits with
// VELDRUN_FAKEPATCH_EXIT (default 0). With VELDRUN_FAKEPATCH_LOAD it first
// loads that DLL by name, as an installer loads platform DLLs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main()
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_LOG", log, sizeof log) > 0) {
        if (FILE* f = std::fopen(log, "ab")) {
            std::fprintf(f, "cmdline=%s|show=%d|hidden=%d\n", GetCommandLineA(), show, show == SW_HIDE ? 1 : 0);
            std::fclose(f);
        }
    }
    char value[32] = {};
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_LOAD", value, sizeof value) > 0)
        LoadLibraryA(value);
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_SLEEP_MS", value, sizeof value) > 0)
        Sleep(static_cast<DWORD>(std::atoi(value)));
    int code = 0;
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_EXIT", value, sizeof value) > 0)
        code = std::atoi(value);
    return code;
}
