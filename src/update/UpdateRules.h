#pragma once
// The decisions of an update run that need no window: the download URLs,
// the single fallback, the patch's command line and the process exit
// status of each way a run can end. Portable; no platform headers.

#include <cstddef>

enum { kCommandLineSize = 2048 }; // buffer of the started patch's command line

// The first download URL for the selection result `id` of getSRIdFromFile:
// "%s/max/%s.exe" for the generic build (-1), otherwise "%s/%d/%s.exe". The server value
// and the SR number are used as written. Returns false, with out emptied,
// when the URL would not fit in `cap` bytes: a cut URL is never used.
bool composeFirstURL(char* out, std::size_t cap, const char* server, int id, const char* srNo);

// The fallback URL "%s/Max/%s.exe" (capital "Max"); false, out emptied,
// when it would not fit.
bool composeFallbackURL(char* out, std::size_t cap, const char* server, const char* srNo);

// Whether a failed first download may fall back to "Max": not when the
// first URL already was the generic build's folder.
bool firstDownloadAllowsFallback(int id);

// What the end of a download leads to.
enum class EndAction {
    Install,     // the downloaded file is good: start it
    Fallback,    // no usable file; the one second download is still allowed
    ServerError, // no usable file and no fallback left
};
EndAction endOfDownloadAction(bool fileGood, bool allowFallback);

// The patch's command line: the quoted local path, one blank, then "/s" in
// a silent run or nothing. False, out emptied, when it would not fit.
bool composePatchCommandLine(char* out, std::size_t cap, const char* localPath, bool silent);

// How a run ended, as the launcher reports it in the exit status.
enum class RunOutcome {
    Running,        // not decided yet (also: the window could not be made)
    PatchStarted,   // the patch was started (and, with wait, has ended)
    ProductError,   // product check 255
    PatchError,     // product check 0
    ServerError,    // no usable download, or the connection was lost
    AlreadyApplied, // selection 999
    Cancelled,      // the user cancelled the window
    NotStarted,     // URL rejected or too long, or the patch could not be started
};

// Process exit status of an outcome: 0 patch started (with wait: the
// patch's own exit code, `patchExitCode`), 1 product error, 2 patch error,
// 3 server error, 4 already applied, 5 cancelled, 6 URL rejected or patch
// not started (also a run that never came to a decision).
int exitStatusFor(RunOutcome outcome, bool waited, unsigned long patchExitCode);

// The outcome when the user cancels: a run still undecided is Cancelled;
// one that already has its outcome (a download or patch that could not be
// started, an error being shown) keeps it.
RunOutcome outcomeOnCancel(RunOutcome current);

// What a tick of the connectivity timer leads to.
enum class TimerAction {
    Default,     // not the connectivity timer: the framework's handling
    Nothing,     // no worker held, or the connection is there
    ServerError, // connection lost while a worker runs: stop the timer, report
};
enum { kConnectivityTimerId = 16, kConnectivityPeriodMs = 2000 };
TimerAction connectivityTick(unsigned timerId, bool workerHeld, bool connected);
