#include "update/PatchStart.h"

#include "common/FinalPath.h"
#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "common/Trace.h"
#include "update/PatchEnvironment.h"
#include "update/UpdateRules.h"

#include <vector>

namespace {

std::wstring widened(const char* text)
{
    int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    std::wstring wide(n > 0 ? static_cast<std::size_t>(n) : 1, L'\0');
    if (n > 0)
        MultiByteToWideChar(CP_ACP, 0, text, -1, &wide[0], n);
    wide.resize(wide.size() - 1);
    return wide;
}

bool sameFolded(wchar_t a, wchar_t b)
{
    return CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(a))) ==
           CharUpperW(reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(b)));
}

// The held file's own path when it is a file directly in the folder `dir`
// (ending in a backslash); empty otherwise.
std::wstring heldPathIn(CHeldFile& held, const std::wstring& dir)
{
    std::wstring path;
    if (dir.empty() || !held.isOpen() || !finalPathOf(held.nativeHandle(), path) || path.size() <= dir.size() ||
        !std::equal(dir.begin(), dir.end(), path.begin(), sameFolded) ||
        path.find(L'\\', dir.size()) != std::wstring::npos)
        return std::wstring();
    return path;
}

// The patch's environment block (PatchEnvironment.h); empty when the
// run's own could not be read.
std::wstring patchEnvironmentBlock(const std::wstring& tempDir)
{
    wchar_t windows[MAX_PATH] = {};
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    LPWCH strings = GetEnvironmentStringsW();
    if (n == 0 || n >= MAX_PATH || !strings)
        return std::wstring();
    std::vector<std::wstring> current;
    for (const wchar_t* p = strings; *p; p += wcslen(p) + 1)
        current.emplace_back(p);
    FreeEnvironmentStringsW(strings);
    std::wstring root(windows, n);
    while (root.size() > 3 && root.back() == L'\\')
        root.pop_back();
    return environmentBlock(patchEnvironment(current, root, tempDir));
}

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

PatchStartResult startPatch(const std::string& commandLine, const char* runDir, bool silent, bool wait, CHeldFile& held,
                            HWND window, bool& waiting)
{
    char line[kCommandLineSize] = {};
    copyBounded(line, sizeof line, commandLine.c_str());
    traceLog("Run Command: %s\n", line);

    const std::wstring dir = widened(runDir ? runDir : "");
    const std::wstring program = heldPathIn(held, dir);
    const std::wstring environment = program.empty() ? std::wstring() : patchEnvironmentBlock(dir + kPatchTempName);
    std::wstring wideLine = widened(line);
    STARTUPINFOW si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(silent ? SW_HIDE : SW_SHOWNORMAL);
    PROCESS_INFORMATION pi = {};
    BOOL started = FALSE;
    if (program.empty())
        traceLog("[Veldrun] The held download is not a file of the run folder, not started\n");
    else if (!environment.empty())
        started = CreateProcessW(program.c_str(), &wideLine[0], nullptr, nullptr, FALSE, CREATE_UNICODE_ENVIRONMENT,
                                 const_cast<wchar_t*>(environment.c_str()), dir.c_str(), &si, &pi);
    PatchStartResult result;
    result.error = started ? 0 : program.empty() ? ERROR_BAD_PATHNAME : GetLastError();
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
