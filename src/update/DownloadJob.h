#pragma once
// What the update window and its download worker share: the custom window
// messages, the job block the worker reads and the progress report it
// sends.

#include "common/FileHash.h"
#include "common/FixedBuf.h"
#include "update/DownloadVerdict.h"
#include "update/HttpResume.h"

#include <windows.h>

#include <cstdint>

// Posted by the worker after the download call has returned; its last act.
// wParam 0, lParam 0.
#define WM_USER_ENDDOWNLOAD (WM_USER + 101)
// Sent (synchronously) by the bind-status callback on the worker thread, at
// most about ten a second (a change of status at once). wParam 0, lParam:
// ProgressInfo*, valid only while the message is handled. A thread that
// waits for the worker must answer sent messages meanwhile
// (waitForDownloadWorker).
#define WM_USER_PROGRESS (WM_USER + 102)
// Posted by the initialisation. wParam: product check result (255 or 0).
#define WM_USER_PRODUCTERROR (WM_USER + 103)
// Posted by the end of a download without a usable file and by the
// connectivity watch. wParam 0, lParam 0.
#define WM_USER_SERVERERROR (WM_USER + 104)
// Posted by the initialisation when the patch is installed already.
#define WM_USER_PATCHED (WM_USER + 105)

// The worker's input, a member of the window that outlives the worker.
// The window writes the first six fields and pHeld (the file made new and
// held, CHeldFile::create) before it starts a worker and leaves them alone
// while the worker runs. The worker writes the body into *pHeld, then
// nVerdict, its judgement of the finished transfer, and facts, what it
// learnt of it; it leaves *pHeld held for reading only on a good file and
// otherwise goes on holding it as it was (a later attempt may append to it),
// before it posts WM_USER_ENDDOWNLOAD; the window reads
// them only when handling that message (or after ending the worker).
struct DownloadJob {
    HWND hWnd;
    HANDLE hCancelEvent;
    char szURL[kMaxText];
    char szLocalPath[kMaxText];
    std::uint64_t nSizePin; // the build's pinned size; 0: none (kUnpinnedSizeLimit bounds it)
    bool bPinned;           // the build has a SHA-256 pin: a body without a known end may be kept for it
    int nVerdict;           // a DownloadVerdict; anything but Good means: no file
    DownloadFacts facts;
    CHeldFile* pHeld; // the file the body is written into; null: nothing can be fetched
    // A later attempt: *pHeld holds this many bytes of the build, asked for
    // from here on against basis (0: the whole file, *pHeld is empty).
    std::uint64_t nResumeFrom;
    ResumeBasis basis;
};

// One progress report, on the worker's stack for the length of one send.
struct ProgressInfo {
    std::uint32_t progress;    // bytes received
    std::uint32_t progressMax; // bytes expected; 0 while no size is known
    std::uint32_t statusCode;  // bind status, limited to 1..26
    const wchar_t* statusText; // the service's text or null
};
