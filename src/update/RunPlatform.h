#pragma once
// The one seam between an update run's driver (RunDriver.h) and the
// platform. The driver decides every step and asks the platform through
// IRunPlatform to carry it out; the update window implements it on Windows,
// vdrpack check and the tests implement it with fakes. Nothing here
// decides: a download that must not be started is removed because the
// driver says so, a file is judged by the driver from what the platform
// reads of it. Portable.

#include "common/Sha256.h"
#include "products/Profile.h"
#include "update/DownloadVerdict.h"
#include "update/HttpResume.h"
#include "update/PatchSigner.h"
#include "update/RunOutcome.h"

#include <cstdint>
#include <string>

// Where a download is to be fetched to and what bounds it.
struct DownloadTarget {
    const char* url = "";
    const char* runDir = "";   // the run's own folder, ending in a backslash (empty: none, nothing started)
    int pinFolder = 0;         // the folder whose pins bound the transfer (pinFolderFor)
    bool pinned = false;       // the folder has a SHA-256 pin: a body without a known end may be kept for it
    std::uint64_t sizePin = 0; // its pinned size: the transfer stops as soon as it is passed (0: none)
    // A later attempt at the same URL: the bytes the last one left in the
    // held file, asked for from here on against the first answer's basis
    // (0: a new file, the whole body).
    std::uint64_t resumeFrom = 0;
    ResumeBasis basis;
    unsigned attempt = 1; // which attempt at this URL, for the trace
};

// How a download ended, as the platform learnt it.
struct DownloadEnd {
    DownloadVerdict verdict = DownloadVerdict::NoFile;
    DownloadFacts facts;   // what the verdict rests on (describeDownload words it)
    bool held = false;     // the file is held (read sharing only) since its transfer stopped
    std::string localPath; // where it was written
};

// What became of the patch's start.
struct PatchStartResult {
    bool started = false;
    unsigned long error = 0;    // the platform's error when it could not be started
    unsigned long exitCode = 0; // its exit code, once waited for
};

class IRunPlatform {
public:
    virtual ~IRunPlatform() = default;

    // A monotonic clock in milliseconds.
    virtual std::uint64_t nowMs() = 0;
    // Replaces the status line by string `id`.
    virtual void showStatus(unsigned id) = 0;
    // Starts or stops the connectivity timer (a tick every
    // kConnectivityPeriodMs: CRunDriver::onTimerTick).
    virtual void setTimer(bool on) = 0;
    // Whether the machine is online; asked only while a download runs.
    virtual bool online() = 0;

    // Starts one download attempt (at most one runs); its end arrives as
    // CRunDriver::onDownloadEnded. A failed attempt leaves its file held
    // (for writing) until removeDownload, so that the next one can append
    // to it (target.resumeFrom). False when it could not be started (URL
    // rejected, no file name in the run's folder, no thread, nothing held
    // to resume).
    virtual bool startDownload(const DownloadTarget& target) = 0;
    // Cancels the running download. now: end it at once (its end is
    // dropped, never reported); else it is told to stop and reports its end.
    virtual void cancelDownload(bool now) = 0;
    // The SHA-256 of the held download, read through its hold; false when
    // it cannot be read.
    virtual bool heldDigest(unsigned char digest[kSha256Size]) = 0;
    // Checks the held download's signature against the policy: a
    // SignerVerdict; subject receives the signer's subject when read.
    virtual int heldSigner(const SignerPolicy& policy, std::string& subject) = 0;
    // The certificate the running package was signed with (Signer=package);
    // false when it carries no valid signature.
    virtual bool packageSigner(unsigned char digest[kSha256Size]) = 0;
    // Lets go of the last download (whatever its attempts left) and removes
    // its file; atRestart: at the next restart (a started patch may still
    // need it).
    virtual void removeDownload(bool atRestart) = 0;
    // Starts the held download with commandLine (hidden when silent); with
    // wait, returns once it has ended. The hold ends once the process
    // exists or could not be made.
    virtual PatchStartResult startPatch(const std::string& commandLine, bool silent, bool wait) = 0;

    // Posts an outcome message to the window: it arrives as
    // CRunDriver::onOutcomeMessage once the window is up.
    virtual void post(RunPost which, int param) = 0;
    // Shows string `id` in a message box and returns once it is answered.
    virtual void showBox(unsigned id, bool error) = 0;
    // Ends the run: the window goes at once.
    virtual void end() = 0;
};
