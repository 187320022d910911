// Runs a program as its debugger and passes its exit status on:
//   dbgrun PROGRAM [ARGS...]
// The win32 lane starts the 32-bit program this way. Under emulated i386
// Wine, a debug string raised as an exception inside the program (the
// platform's OutputDebugStringA) while the download's threads run kills the
// process (see tests/e2e/tools/bindprobe.cpp); with a debugger attached the
// string goes to the debugger instead and is never dispatched in the
// program. Wine still prints the string (WINEDEBUG=+debugstr) before that.
// Every other exception is left to the program, as without a debugger.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {
// The command line after this program's own name, as it was given.
const char* argumentsAfterProgramName(const char* line)
{
    bool quoted = false;
    for (; *line; ++line) {
        if (*line == '"')
            quoted = !quoted;
        else if (!quoted && (*line == ' ' || *line == '\t'))
            break;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}
} // namespace

int main()
{
    std::string command = argumentsAfterProgramName(GetCommandLineA());
    if (command.empty()) {
        std::fputs("usage: dbgrun PROGRAM [ARGS...]\n", stderr);
        return 2;
    }
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                        &pi)) {
        std::fprintf(stderr, "dbgrun: cannot start %s (error %lu)\n", command.c_str(), GetLastError());
        return 2;
    }
    DWORD exitCode = 2;
    for (;;) {
        DEBUG_EVENT ev = {};
        if (!WaitForDebugEvent(&ev, INFINITE))
            break;
        DWORD answer = DBG_CONTINUE;
        switch (ev.dwDebugEventCode) {
        case CREATE_PROCESS_DEBUG_EVENT:
            if (ev.u.CreateProcessInfo.hFile)
                CloseHandle(ev.u.CreateProcessInfo.hFile);
            break;
        case LOAD_DLL_DEBUG_EVENT:
            if (ev.u.LoadDll.hFile)
                CloseHandle(ev.u.LoadDll.hFile);
            break;
        case EXCEPTION_DEBUG_EVENT: {
            // The loader's breakpoints (the 32-bit one under WoW64 too) are
            // the debugger's; the program's own exceptions are its own.
            DWORD code = ev.u.Exception.ExceptionRecord.ExceptionCode;
            if (code != EXCEPTION_BREAKPOINT && code != 0x4000001F /* STATUS_WX86_BREAKPOINT */)
                answer = DBG_EXCEPTION_NOT_HANDLED;
            break;
        }
        case EXIT_PROCESS_DEBUG_EVENT:
            exitCode = ev.u.ExitProcess.dwExitCode;
            break;
        default:
            break;
        }
        ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, answer);
        if (ev.dwDebugEventCode == EXIT_PROCESS_DEBUG_EVENT)
            break;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(exitCode);
}
