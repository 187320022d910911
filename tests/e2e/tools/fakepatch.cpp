// A stand-in for a downloaded patch. It appends one line to the file named
// by VELDRUN_FAKEPATCH_LOG:
//   cmdline=<its command line>|show=<wShowWindow or -1>|hidden=<0 or 1>|size=<its own file's size>|temp=<its TEMP>
// (the size tells which build of it was started), then waits (at most ten
// minutes) until the file VELDRUN_FAKEPATCH_GATE exists when that is set,
// then, with VELDRUN_FAKEPATCH_BROADCAST=1, broadcasts WM_SETTINGCHANGE
// with SendMessage as installers do (it returns once every top-level window
// has answered), sleeps VELDRUN_FAKEPATCH_SLEEP_MS milliseconds and exits
// with VELDRUN_FAKEPATCH_EXIT (default 0). With VELDRUN_FAKEPATCH_LOAD it
// first loads that DLL by name, as an installer loads platform DLLs.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace {
long long ownSize()
{
    wchar_t own[MAX_PATH] = {};
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetModuleFileNameW(nullptr, own, MAX_PATH) || !GetFileAttributesExW(own, GetFileExInfoStandard, &data))
        return -1;
    return static_cast<long long>((static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}
} // namespace

int main()
{
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    GetStartupInfoA(&si);
    int show = (si.dwFlags & STARTF_USESHOWWINDOW) ? si.wShowWindow : -1;
    char log[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_LOG", log, sizeof log) > 0) {
        if (FILE* f = std::fopen(log, "ab")) {
            char temp[MAX_PATH] = {};
            GetEnvironmentVariableA("TEMP", temp, sizeof temp);
            std::fprintf(f, "cmdline=%s|show=%d|hidden=%d|size=%lld|temp=%s\n", GetCommandLineA(), show,
                         show == SW_HIDE ? 1 : 0, ownSize(), temp);
            std::fclose(f);
        }
    }
    char value[MAX_PATH] = {};
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_GATE", value, sizeof value) > 0)
        for (DWORD end = GetTickCount() + 600000;
             GetFileAttributesA(value) == INVALID_FILE_ATTRIBUTES && GetTickCount() < end;)
            Sleep(10);
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_LOAD", value, sizeof value) > 0)
        LoadLibraryA(value);
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_BROADCAST", value, sizeof value) > 0 && value[0] == '1')
        SendMessageA(HWND_BROADCAST, WM_SETTINGCHANGE, 0, reinterpret_cast<LPARAM>("Environment"));
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_SLEEP_MS", value, sizeof value) > 0)
        Sleep(static_cast<DWORD>(std::atoi(value)));
    int code = 0;
    if (GetEnvironmentVariableA("VELDRUN_FAKEPATCH_EXIT", value, sizeof value) > 0)
        code = std::atoi(value);
    return code;
}
