#pragma once
// CUpdateRun: the decisions of one update run, apart from the window.
//
// The window (CUpdateDlg) and the launcher hand it the run's events: the
// launch (help asked, extraction result), the product check, the chosen
// build, each progress report, the end of each download with its verdict,
// each tick of the connectivity timer, Cancel, the patch started or not,
// and the outcome messages the window posts to itself. Each event returns a
// RunStep: what the window is to do now. The run's outcome is decided here
// and only once; later events never start a download or a patch. Portable.
//
// After the modal run the launcher reads outcome(), exitStatus() and facts():
// what the outcome rests on (each URL fetched with its verdict, the patch's
// command line and exit code), which the outcome line reports (RunAccount.h).

#include "products/PatchInfoKeys.h"
#include "products/ProductCheck.h"
#include "update/RunAccount.h"
#include "update/FetchPlan.h"
#include "update/UpdateRules.h"

#include <cstdint>
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

// A short name of an outcome for the outcome line ("patch started", ...).
const char* outcomeName(RunOutcome outcome);

// The outcome messages the window posts to itself (WM_USER_PRODUCTERROR,
// WM_USER_SERVERERROR, WM_USER_PATCHED).
enum class RunPost { None, ProductError, ServerError, Patched };

enum { kConnectivityTimerId = 16, kConnectivityPeriodMs = 2000 };
// Exit codes of a patch that finished and asks for a restart (Windows
// Installer's ERROR_SUCCESS_REBOOT_REQUIRED and ERROR_SUCCESS_REBOOT_INITIATED).
enum { kPatchExitRestartRequired = 3010, kPatchExitRestartInitiated = 1641 };

// What the window does for one event, in this order. A step that starts a
// download or the patch asks for no box and no end: the controller's answer
// to that start (onDownloadRefused, onPatchStarted, onPatchStartFailed)
// does, and the window carries it out next.
struct RunStep {
    bool showUsage = false;       // show the switches (the launcher; no window runs)
    bool checkProducts = false;   // check the products, then onProductsChecked
    bool chooseBuild = false;     // read [SRInfo], choose the build, then onBuildChosen
    bool startTimer = false;      // start the connectivity timer
    bool stopTimer = false;       // kill it
    bool cancelWorker = false;    // signal the cancel event
    bool endWorker = false;       // end the held worker now (cancel event, short wait, termination)
                                  // and drop its end message
    bool removeDownload = false;  // remove the last download's file
    bool removeAtRestart = false; // mark the last download for removal at the next restart
    unsigned status = 0;          // replace the status line by this string (0: leave it)
    RunPost post = RunPost::None;
    int postParam = 0;       // wParam of the posted message
    std::string download;    // start a download of this URL (then onDownloadRefused if it cannot)
    bool startPatch = false; // start the download with commandLine() (then onPatchStarted/Failed)
    unsigned box = 0;        // show this string in a message box (never in a silent run)
    bool boxIsError = true;  // error icon, else information
    bool quit = false;       // end the modal run
};

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

// Where the build comes from, as [SRInfo] says (readBuildSource).
struct RunSource {
    std::string server;          // [SRInfo] URL
    std::string srNo;            // [SRInfo] SRNo
    bool anyPin = false;         // [SRInfo] carries a SHA256 key: only a matching download is started
    bool signerRequired = false; // [SRInfo] Signer: only a patch signed as it asks is started
    std::string signerProblem;   // why that signer cannot be checked at all (malformed key, unsigned
                                 // package): the patch error before any download
    int stallSeconds = 0;        // [SRInfo] StallSeconds as read (0: none)
    int downloadSeconds = 0;     // [SRInfo] DownloadSeconds as read (0: none)
    std::string silentArgs;      // [SRInfo] SilentArgs: the patch's arguments in a silent run ("" : "/s")
    std::string args;            // [SRInfo] Args: its arguments in a visible run
};

class CUpdateRun {
public:
    explicit CUpdateRun(bool silent);

    // Start-up: help asked ("/?" and kin) and the result of detachFile.
    // Help: showUsage and quit, outcome HelpShown. A result other than 1:
    // outcome NotExtracted, nothing is read; the window shows string 103.
    RunStep onLaunch(bool help, int extractResult);
    // The window is initialised.
    RunStep onInitDialog();
    // The product check's result over the list it judged, with its reasons
    // (for the outcome line); the list is kept for the build selection.
    RunStep onProductsChecked(int check, const std::vector<ProductInfo>& products = {},
                              const ProductReasons& reasons = {});
    // The selection result and where the build comes from; nowMs: a
    // monotonic clock in milliseconds (also for the events below).
    RunStep onBuildChosen(int id, const RunSource& source, std::uint64_t nowMs);
    // The window could not start the download it was asked to (URL
    // rejected, no temporary file name, no thread).
    RunStep onDownloadRefused();
    RunStep onProgress(unsigned statusCode, std::uint64_t nowMs);
    // The worker ended. good: its verdict was Good and the file is held;
    // pin: the PinVerdict of the file (kPinNone when not checked);
    // verdict: the worker's verdict in words (describeDownload); localPath:
    // the file; signer: the SignerVerdict of the held file (kSignerNotChecked
    // when not checked) and signerText its words (signerVerdictText). With
    // a signer required, only kSignerMatch is started.
    // transfer: the worker's DownloadVerdict.
    RunStep onDownloadEnded(bool good, int pin, const char* verdict, const char* localPath, std::uint64_t nowMs,
                            int signer = 0, const char* signerText = "", int transfer = -1);
    RunStep onPatchStarted(bool waited, unsigned long exitCode);
    // error: the platform's error code.
    RunStep onPatchStartFailed(unsigned long error);
    // A tick of the connectivity timer; connected matters only while
    // downloading() (the window asks the platform only then).
    RunStep onTimerTick(bool connected, std::uint64_t nowMs);
    RunStep onCancel();
    // One of the outcome messages arrived: the box to show, then the end.
    RunStep onOutcomeMessage(RunPost which, int param);

    bool downloading() const { return m_phase == Phase::Downloading; }
    // Which checks a finished transfer gets before onDownloadEnded: its pin
    // while a download is awaited; its signer when one is required and the
    // pin did not fail.
    bool checksPin() const { return downloading(); }
    bool checksSigner(int pin) const;
    // The pin folder of the current download (see pinFolderFor).
    int pinFolder() const;
    unsigned stallSeconds() const { return m_nStallSeconds; }
    unsigned downloadSeconds() const { return m_nDownloadSeconds; }
    bool silent() const { return m_bSilent; }
    const std::string& commandLine() const { return m_facts.commandLine; }

    // The products the check judged.
    const std::vector<ProductInfo>& products() const { return m_products; }

    RunOutcome outcome() const { return m_outcome; }
    int exitStatus() const;
    const RunFacts& facts() const { return m_facts; }
    // The line that states how the run ended (RunAccount.h).
    std::string outcomeLine() const { return m_account.outcomeLine(*this); }

private:
    enum class Phase { Starting, Checking, Choosing, Downloading, Installing, Ended };

    // Decides the outcome unless one is decided already; false then.
    bool decide(RunOutcome outcome, const char* reason);
    RunStep download(const std::string& url, std::uint64_t nowMs);
    // Starts m_plan[m_nFetch] (a URL too long is not started).
    RunStep startPlanned(std::uint64_t nowMs);
    RunStep failedTransfer(std::uint64_t nowMs);
    RunStep notStarted(const char* reason);
    RunStep urlTooLong();
    // Ends the last download unless it has ended already.
    void noteEnd(FetchEnd end, const std::string& words = "", unsigned seconds = 0);

    bool m_bSilent;
    Phase m_phase = Phase::Starting;
    RunOutcome m_outcome = RunOutcome::Running;
    RunFacts m_facts;
    std::vector<ProductInfo> m_products;
    CRunAccount m_account; // the product and build facts of the outcome line
    bool m_bAnyPin = false;
    bool m_bSignerRequired = false;
    std::vector<PlannedFetch> m_plan; // the downloads of the chosen build, in order
    std::size_t m_nFetch = 0;         // the one in m_plan started last
    unsigned m_nStallSeconds = kStallSecondsDefault;
    unsigned m_nDownloadSeconds = kDownloadSecondsDefault;
    std::string m_patchArgs;
    std::uint64_t m_nLastProgressMs = 0;
    std::uint64_t m_nDownloadStartMs = 0;
};
