#include "update/PatchStart.h"

#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "update/UpdateRules.h"

namespace {

// Installers broadcast WM_SETTINGCHANGE with SendMessage, which returns
// only when every top-level window has answered: this thread goes on
// dispatching until the patch has ended. Input to the window waits (the
// patch cannot be cancelled from here), a WM_QUIT is kept for the end.
void waitForPatch(HANDLE process, HWND window, bool& waiting)
{
    waiting = true;
    bool reenable = window && !EnableWindow(window, FALSE);
    bool quit = false;
    int quitCode = 0;
    for (;;) {
        DWORD woken = MsgWaitForMultipleObjects(1, &process, FALSE, INFINITE, QS_ALLINPUT);
        if (woken == WAIT_OBJECT_0)
            break;
        if (woken != WAIT_OBJECT_0 + 1) {
            // The wait itself failed: the plain wait, as before.
            WaitForSingleObject(process, INFINITE);
            break;
        }
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                quit = true;
                quitCode = static_cast<int>(msg.wParam);
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    if (reenable)
        EnableWindow(window, TRUE);
    waiting = false;
    if (quit)
        PostQuitMessage(quitCode);
}

} // namespace

PatchStartResult startPatch(const std::string& commandLine, bool silent, bool wait, CHeldFile& held, HWND window,
                            bool& waiting)
{
    char line[kCommandLineSize] = {};
    copyBounded(line, sizeof line, commandLine.c_str());
    traceLog("Run Command: %s\n", line);

    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(silent ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION pi = {};
    BOOL started = CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
    PatchStartResult result;
    result.error = started ? 0 : GetLastError();
    // Held until the process exists: nobody swapped the file in between.
    held.close();
    if (!started)
        return result;
    result.started = true;
    CHandleOwner process(pi.hProcess);
    CHandleOwner thread(pi.hThread);
    if (wait) {
        DWORD code = 0;
        waitForPatch(process.get(), window, waiting);
        GetExitCodeProcess(process.get(), &code);
        result.exitCode = code;
    }
    return result;
}
