// The example patch that `make demo` serves. It stands for a real patch:
// it says that it was applied and ends. A visible run also shows a message
// that closes by itself after a few seconds, so nothing waits for a click.
//
// The line "Example patch OMS240118-02 applied (...)" goes to the debugger
// output and, when VELDRUN_DEMO_REPORT names a file, is added to that file.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

using MessageBoxTimeoutFn = int(WINAPI*)(HWND, LPCWSTR, LPCWSTR, UINT, WORD, DWORD);

void report(const char* line)
{
    OutputDebugStringA(line);
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("VELDRUN_DEMO_REPORT", path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return;
    if (FILE* f = std::fopen(path, "a")) {
        std::fputs(line, f);
        std::fclose(f);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdLine, int)
{
    const bool silent = cmdLine && std::strstr(cmdLine, "/s") != nullptr;
    char line[128];
    std::snprintf(line, sizeof line, "Example patch OMS240118-02 applied (%s run)\n", silent ? "silent" : "visible");
    report(line);
    if (silent)
        return 0;
    // MessageBoxTimeoutW is not in the import libraries (nor is user32
    // loaded otherwise); the void(*)() step is the one function-pointer
    // cast the compiler accepts silently.
    HMODULE user32 = LoadLibraryA("user32.dll");
    auto timed = reinterpret_cast<MessageBoxTimeoutFn>(
        reinterpret_cast<void (*)()>(user32 ? GetProcAddress(user32, "MessageBoxTimeoutW") : nullptr));
    if (timed)
        timed(nullptr,
              L"The example patch OMS240118-02 was applied.\nOmbrel Disc Studio and Tape & Tune are up to date.",
              L"Example patch", MB_OK | MB_ICONINFORMATION, 0, 5000);
    return 0;
}
