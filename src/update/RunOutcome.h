#pragma once
// How an update run ends: its exit statuses, its outcomes, each download
// and what became of it, and the facts the outcome rests on. The run's
// driver (RunDriver.h) fills them; the outcome line (RunAccount.h) and
// vdrpack check read them. Portable.

#include <string>
#include <vector>

// Update mode's process exit statuses.
enum UpdateExitStatus {
    kExitPatchStarted = 0,   // the patch was started (with /w: the patch's own exit code instead)
    kExitProductError = 1,   // a product is missing or incomplete
    kExitPatchError = 2,     // an installed product does not match the patch, or the file is malformed
    kExitServerError = 3,    // the patch could not be downloaded (error, no pin match, stall, connection lost)
    kExitAlreadyApplied = 4, // the installed products carry this patch already
    kExitCancelled = 5,      // the user cancelled
    kExitNotStarted = 6,     // the download could not be started or the patch could not be started
    kExitAlreadyRunning = 7, // another instance runs; nothing was done
    kExitNotExtracted = 8,   // the patch information file could not be extracted; nothing was read
    kExitHelp = 9,           // "/?" and its kin: the switches were shown, nothing else done
};

// How a run ended.
enum class RunOutcome {
    Running,        // not decided yet
    PatchStarted,   // the patch was started (and, with wait, has ended)
    ProductError,   // product check 255
    PatchError,     // product check 0 (a mismatch or a malformed file)
    ServerError,    // no startable download, stalled, or the connection was lost
    AlreadyApplied, // selection 999
    Cancelled,      // the user cancelled the window
    NotStarted,     // a download or the patch could not be started
    NotExtracted,   // the patch information file could not be extracted
    HelpShown,      // the switches were shown
};

// The outcome in words, the one place they are worded: for the outcome
// line ("patch started", ...) and, as a stable name, for vdrpack check,
// which asks what a run on a machine comes to before any download:
// "product-error", "patch-error", "already-applied", or "applicable" for
// every outcome reached after a build was chosen.
const char* outcomeName(RunOutcome outcome);
const char* checkOutcomeName(RunOutcome outcome);

// The outcome messages the window posts to itself (WM_USER_PRODUCTERROR,
// WM_USER_SERVERERROR, WM_USER_PATCHED): each box is shown once the window
// has come up.
enum class RunPost { None, ProductError, ServerError, Patched };

enum { kConnectivityTimerId = 16, kConnectivityPeriodMs = 2000 };
// Exit codes of a patch that finished and asks for a restart (Windows
// Installer's ERROR_SUCCESS_REBOOT_REQUIRED and ERROR_SUCCESS_REBOOT_INITIATED).
enum { kPatchExitRestartRequired = 3010, kPatchExitRestartInitiated = 1641 };

// How one download of the run ended.
enum class FetchEnd {
    Running,        // not ended (yet)
    Transferred,    // the worker ended: its verdict in words, with the pin and the signer
    Stalled,        // no progress for the stall time
    Overdue,        // not done within the download time
    Cancelled,      // the user cancelled during it
    ConnectionLost, // the connection was lost during it
    NotStarted,     // it could not be started
    NotUsed,        // it ended after the outcome was decided
};

// One download of the run and what became of it.
struct RunFetch {
    std::string url;
    // Its attempts and redirects in words (attemptWords), "" for one
    // plain attempt: "3 attempts: connection lost x2, resumed at 8 MiB".
    std::string tries;
    FetchEnd end = FetchEnd::Running;
    std::string words;    // Transferred: "HTTP 200, 10 of 10 bytes, pin SHA2560 matched", ...
    unsigned seconds = 0; // Stalled, Overdue: the time that ran out
    // Transferred: the worker's DownloadVerdict (-1 unknown), the file's
    // PinVerdict and SignerVerdict, what the run's reason is read from.
    int transfer = -1;
    int pin = 0;
    int signer = 0;

    // The end in words, the only place they are worded: empty while it
    // runs; the worker's words, "no progress for 60 s", "not done after
    // 600 s", "cancelled", "connection lost", "not started", "not used".
    std::string verdict() const;
};

// What the outcome rests on.
struct RunFacts {
    int extractResult = 1;             // detachFile's result
    int productCheck = -1;             // checkProducts' result, -1 before the check
    int buildId = -1;                  // getSRIdFromFile's result
    std::vector<RunFetch> fetches;     // every download started, in order
    std::string commandLine;           // the patch's command line, once it is to be started
    unsigned long patchStartError = 0; // the platform's error when the patch could not be started
    bool patchWaited = false;
    unsigned long patchExitCode = 0;
    std::string reason; // why the outcome was decided, in a few words
};
