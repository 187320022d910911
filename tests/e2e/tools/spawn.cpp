// spawn PROGRAM COMMANDLINE [NAME=VALUE...]: starts PROGRAM with exactly
// COMMANDLINE as its command line (its first token need not name the
// program) and with the given environment variables set, waits for it and
// exits with its exit code.
#include <windows.h>
#include <shellapi.h>

#include <string>

int main()
{
    int argc = 0;
    LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3)
        return 250;
    for (int i = 3; i < argc; ++i) {
        std::wstring assignment = argv[i];
        std::size_t eq = assignment.find(L'=');
        if (eq != std::wstring::npos)
            SetEnvironmentVariableW(assignment.substr(0, eq).c_str(), assignment.substr(eq + 1).c_str());
    }
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(argv[1], argv[2], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi))
        return 251;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 252;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
