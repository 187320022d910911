#include "update/DownloadStart.h"

#include "common/FixedBuf.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "update/DownloadWorker.h"

#include <process.h>
#include <shlwapi.h>
#include <urlmon.h>

#include <cstring>

namespace {
// The worker sees the cancel event at once; this bound is for a platform
// call that never returns.
enum { kWorkerStopWaitMs = 15000 };

bool startWorker(DownloadJob& job, CHandleOwner& thread)
{
    unsigned threadId = 0;
    uintptr_t started = _beginthreadex(nullptr, 0, &ThreadFunc, &job, 0, &threadId);
    if (!started)
        return false;
    thread.reset(reinterpret_cast<HANDLE>(started));
    return true;
}
} // namespace

bool startDownloadWorker(const DownloadTarget& target, HWND window, HANDLE cancelEvent, DownloadJob& job,
                         CHeldFile& held, CHandleOwner& thread)
{
    traceLog("[Veldrun] updateDownloadURL => Source URL: %s\n", target.url);
    wchar_t wide[kMaxText] = {};
    MultiByteToWideChar(CP_ACP, 0, target.url, -1, wide, kMaxText - 1);
    if (FAILED(SYSTEM_CALL(L"urlmon.dll", IsValidURL, E_FAIL, (nullptr, wide, 0))))
        return false;
    if (thread) {
        waitForDownloadWorker(thread.get(), INFINITE);
        thread.reset();
    }

    job.hWnd = window;
    ResetEvent(cancelEvent);
    job.hCancelEvent = cancelEvent;
    copyBounded(job.szURL, sizeof job.szURL, target.url);
    job.nVerdict = static_cast<int>(DownloadVerdict::NoFile);
    // The folder's pins bound the transfer: a pinned size stops it as soon
    // as it is passed, and only a pinned build may come without a known end.
    job.bPinned = target.pinned;
    job.nSizePin = target.sizePin;
    job.pHeld = &held;
    job.basis = target.basis;
    job.nResumeFrom = 0;
    if (target.resumeFrom) {
        // The next attempt appends to the file the last one left held: it
        // must still hold exactly the bytes the driver counts on.
        if (!held.isOpen() || held.size() != static_cast<std::int64_t>(target.resumeFrom)) {
            traceLog("[Veldrun] updateDownloadURL => the held bytes cannot be resumed, refused\n");
            return false;
        }
        job.nResumeFrom = target.resumeFrom;
        return startWorker(job, thread);
    }
    held.close();

    // Only a name inside the run's folder will do: a failure would leave a
    // relative ".exe", fetched into (and started from) wherever the working
    // directory and the search path lead.
    char reserved[kMaxText] = {};
    std::memset(job.szLocalPath, 0, sizeof job.szLocalPath);
    if (!target.runDir[0] || !GetTempFileNameA(target.runDir, "", 0, reserved)) {
        traceLog("[Veldrun] updateDownloadURL => no temporary file name, refused\n");
        return false;
    }
    copyBounded(job.szLocalPath, sizeof job.szLocalPath, reserved);
    PathRemoveExtensionA(job.szLocalPath);
    // ".exe" given by name: the platform's default for a null extension is
    // not honoured everywhere (Wine adds nothing). The empty file keeps the
    // name reserved until the run ends and its folder goes.
    if (!PathAddExtensionA(job.szLocalPath, ".exe")) {
        job.szLocalPath[0] = '\0';
        return false;
    }
    traceLog("[Veldrun] updateDownloadURL => Local path: %s\n", job.szLocalPath);
    // Made here, new, and held from this moment to the patch's start: the
    // worker writes the body through this handle, nobody else can write it.
    if (!held.create(job.szLocalPath)) {
        traceLog("[Veldrun] updateDownloadURL => the file could not be made (error %lu), refused\n", GetLastError());
        return false;
    }

    return startWorker(job, thread);
}

bool waitForDownloadWorker(HANDLE thread, unsigned long ms)
{
    const ULONGLONG start = GetTickCount64();
    for (;;) {
        DWORD timeout = INFINITE;
        if (ms != INFINITE) {
            ULONGLONG spent = GetTickCount64() - start;
            if (spent >= ms)
                return false;
            timeout = static_cast<DWORD>(ms - spent);
        }
        DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, timeout, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0)
            return true;
        if (woken != WAIT_OBJECT_0 + 1)
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        // Answers the messages sent to this thread; nothing posted is taken.
        MSG msg;
        PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

void stopDownloadWorker(CHandleOwner& thread, HANDLE cancelEvent, HWND window, bool now)
{
    if (!thread)
        return;
    SetEvent(cancelEvent);
    if (!now)
        return;
    if (!waitForDownloadWorker(thread.get(), kWorkerStopWaitMs)) {
        traceLog("[Veldrun] The download worker did not end within %d ms: terminated\n", kWorkerStopWaitMs);
        TerminateThread(thread.get(), 0);
    }
    thread.reset();
    MSG msg;
    while (window && PeekMessageA(&msg, window, WM_USER_ENDDOWNLOAD, WM_USER_ENDDOWNLOAD, PM_REMOVE)) {
    }
}
