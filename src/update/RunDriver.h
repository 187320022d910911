#pragma once
// CRunDriver: one update run, from the product check to its outcome.
//
// The driver owns the whole sequence: the product check, the build
// selection, [SRInfo] read once, the fetch plan, each download and its
// checks (its verdict, then its pin, then its signer), the one fallback, the
// patch's start and its wait, and the outcome, decided exactly once. It
// asks the platform through one seam (IRunPlatform, RunPlatform.h): the
// update window on Windows, fakes in vdrpack check and the tests. The
// window only forwards its events (initialised, progress, download ended,
// timer tick, Cancel, outcome message) and carries out what it is asked.
// Portable.
//
// The launcher constructs it, tells it the launch (help asked, the
// extraction's result), hands it to the window, and afterwards reads
// outcome(), exitStatus(), facts() and outcomeLine().

#include "products/ProductCheck.h"
#include "products/Profile.h"
#include "products/Registry.h"
#include "update/DownloadAttempts.h"
#include "update/FetchPlan.h"
#include "update/HttpResume.h"
#include "update/PatchSigner.h"
#include "update/RunAccount.h"
#include "update/RunOutcome.h"
#include "update/RunPlatform.h"

#include <cstdint>
#include <string>
#include <vector>

// Where the run reads and writes.
struct RunPlace {
    const IProfileReader* profile = nullptr; // the patch information file's reader
    const char* iniPath = "";                // the path it is read by (empty: nothing extracted)
    const char* runDir = "";                 // the run's own folder, ending in a backslash
    bool wait = false;                       // "/w": wait for the started patch
};

class CRunDriver {
public:
    explicit CRunDriver(bool silent);

    // Start-up: help asked ("/?" and kin) and the result of detachFile.
    // True when the switches are to be shown (outcome HelpShown). A result
    // other than 1: outcome NotExtracted, nothing is read.
    bool onLaunch(bool help, int extractResult);

    // The window is up: the run begins. From here until finish() the driver
    // asks `platform`; the products are probed in `registry`.
    void start(IRunPlatform& platform, IRegistry& registry, const RunPlace& place);
    // A progress report of the running download (bind status code; the
    // bytes of the build held so far). Only more body bytes count as
    // progress for the stall time.
    void onProgress(unsigned statusCode, std::uint64_t bytes = 0);
    // The running download ended.
    void onDownloadEnded(const DownloadEnd& end);
    // A tick of the connectivity timer.
    void onTimerTick();
    // Cancel (button, Escape, close).
    void onCancel();
    // One of the posted outcome messages arrived: its box, then the end.
    void onOutcomeMessage(RunPost which, int param);
    // The window goes: a download still running is ended and removed; the
    // platform is asked nothing more.
    void finish();

    bool silent() const { return m_bSilent; }
    bool downloading() const { return m_phase == Phase::Downloading; }
    // The downloads of the chosen build, in order (empty before the choice).
    const std::vector<PlannedFetch>& plan() const { return m_plan; }
    const SignerPolicy& signer() const { return m_signer; }
    const std::vector<ProductInfo>& products() const { return m_products; }

    RunOutcome outcome() const { return m_outcome; }
    int exitStatus() const;
    const RunFacts& facts() const { return m_facts; }
    // The line that states how the run ended (RunAccount.h).
    std::string outcomeLine() const { return m_account.outcomeLine(m_facts, m_outcome, exitStatus()); }

private:
    enum class Phase { Starting, Checking, Choosing, Downloading, Installing, Ended };

    // Decides the outcome unless one is decided already; false then.
    bool decide(RunOutcome outcome, const char* reason);
    void checkProducts(IRegistry& registry);
    void chooseBuild();
    // Starts m_plan[m_nFetch] (a URL too long is not started).
    void startPlanned();
    // Starts the next attempt at it.
    void startAttempt();
    // The failed attempt's end for the attempt rules.
    AttemptResult attemptResult(const DownloadEnd& end, bool stallStop) const;
    // Lets go of what failed attempts left held.
    void dropPartial();
    void failedTransfer();
    void notStarted(const char* reason);
    // The words of a finished transfer, with its pin and signer (their
    // verdicts in pin and signer: a missing pin where pins are given counts
    // as a mismatch, 0 for a signer not checked); whether it may be started.
    bool judgeHeld(const DownloadEnd& end, std::string& said, int& pin, int& signer);
    void startPatch(const std::string& localPath);
    // Ends the last download unless it has ended already.
    void noteEnd(FetchEnd end, const std::string& words = "", unsigned seconds = 0);
    void postOutcome(RunPost which, int param = 0);
    std::string srInfo(const char* key) const;

    bool m_bSilent;
    IRunPlatform* m_platform = nullptr;
    RunPlace m_place;
    Phase m_phase = Phase::Starting;
    RunOutcome m_outcome = RunOutcome::Running;
    RunFacts m_facts;
    std::vector<ProductInfo> m_products;
    CRunAccount m_account; // the product and build facts of the outcome line
    bool m_bAnyPin = false;
    SignerPolicy m_signer;
    std::vector<PlannedFetch> m_plan; // the downloads of the chosen build, in order
    std::size_t m_nFetch = 0;         // the one in m_plan started last
    bool m_bFetchRunning = false;     // a download was started and has not reported its end
    unsigned m_nStallSeconds = 0;
    unsigned m_nDownloadSeconds = 0;
    std::string m_patchArgs;
    std::uint64_t m_nLastProgressMs = 0;
    std::uint64_t m_nDownloadStartMs = 0; // the current URL's first attempt: its deadline counts from here

    // The attempts at the current URL.
    CDownloadAttempts m_attempts{0, nullptr};
    ResumeBasis m_basis;          // what its last whole answer said a resume rests on
    std::string m_finalUrl;       // where its last attempt ended up after redirects
    bool m_bRetryWaiting = false; // an attempt failed; the next starts at m_nRetryAtMs
    std::uint64_t m_nRetryAtMs = 0;
    std::uint64_t m_nResumeFrom = 0; // the next attempt asks for the bytes from here on
    bool m_bPartialHeld = false;     // failed attempts left bytes held for the next
    bool m_bStallStop = false;       // the running attempt was told to stop for a stall
    std::uint64_t m_nStallStopMs = 0;
    std::uint64_t m_nBodyBytes = 0; // the running attempt's last reported byte count
    std::uint32_t m_nJitter = 0;    // the backoff's jitter source (xorshift)
};
