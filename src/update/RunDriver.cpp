#include "update/RunDriver.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/PatchInfoKeys.h"
#include "update/BuildSource.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"
#include "update/UpdateRules.h"

#include "resource.h"

#include <ctime>

namespace {
// How long a worker told to stop for a stall may take to report its end
// before it is ended at once (its own bound for an aborted binding is 5 s).
const std::uint64_t kStallStopGraceMs = 20000;

// A [SRInfo] time key as the program uses it (traced when a value was
// given and is not used).
unsigned secondsOf(const SecondsKey& key, int read)
{
    int used = secondsUsed(key, read);
    if (read != 0 && used != read)
        traceLog("[Veldrun] %s %d out of range, %d used\n", key.key, read, used);
    return static_cast<unsigned>(used);
}
} // namespace

CRunDriver::CRunDriver(bool silent) : m_bSilent(silent) {}

int CRunDriver::exitStatus() const
{
    switch (m_outcome) {
    case RunOutcome::PatchStarted:
        return m_facts.patchWaited ? static_cast<int>(m_facts.patchExitCode) : kExitPatchStarted;
    case RunOutcome::ProductError:
        return kExitProductError;
    case RunOutcome::PatchError:
        return kExitPatchError;
    case RunOutcome::ServerError:
        return kExitServerError;
    case RunOutcome::AlreadyApplied:
        return kExitAlreadyApplied;
    case RunOutcome::Cancelled:
        return kExitCancelled;
    case RunOutcome::NotExtracted:
        return kExitNotExtracted;
    case RunOutcome::HelpShown:
        return kExitHelp;
    case RunOutcome::Running: // the window could not be made
    case RunOutcome::NotStarted:
        return kExitNotStarted;
    }
    return kExitNotStarted;
}

bool CRunDriver::decide(RunOutcome outcome, const char* reason)
{
    if (m_outcome != RunOutcome::Running)
        return false;
    m_outcome = outcome;
    m_facts.reason = reason;
    if (outcome != RunOutcome::PatchStarted)
        m_phase = Phase::Ended;
    return true;
}

void CRunDriver::noteEnd(FetchEnd end, const std::string& words, unsigned seconds)
{
    if (m_facts.fetches.empty() || m_facts.fetches.back().end != FetchEnd::Running)
        return;
    RunFetch& fetch = m_facts.fetches.back();
    fetch.end = end;
    fetch.words = words;
    fetch.seconds = seconds;
    fetch.tries = attemptWords(m_attempts, fetch.url, m_finalUrl);
}

std::string CRunDriver::srInfo(const char* key) const
{
    char value[kMaxText] = {};
    m_place.profile->getString(kSRInfoSection, key, "", value, sizeof value, m_place.iniPath);
    return value;
}

void CRunDriver::postOutcome(RunPost which, int param)
{
    if (m_platform)
        m_platform->post(which, param);
}

bool CRunDriver::onLaunch(bool help, int extractResult)
{
    m_facts.extractResult = extractResult;
    if (help) {
        decide(RunOutcome::HelpShown, "the switches were asked for");
        return true;
    }
    if (extractResult != 1)
        decide(RunOutcome::NotExtracted, "the patch information file could not be extracted");
    return false;
}

void CRunDriver::start(IRunPlatform& platform, IRegistry& registry, const RunPlace& place)
{
    if (m_platform)
        return;
    m_platform = &platform;
    m_place = place;
    if (!m_place.profile)
        m_place.profile = &platformProfile();
    if (m_outcome == RunOutcome::NotExtracted) {
        // Nothing is read; the patch error's box reports it.
        postOutcome(RunPost::ProductError, kProductsMismatch);
        return;
    }
    if (m_outcome != RunOutcome::Running || m_phase != Phase::Starting)
        return;
    m_phase = Phase::Checking;
    platform.showStatus(IDS_RETRIEVING);
    checkProducts(registry);
    if (m_phase == Phase::Choosing)
        chooseBuild();
}

void CRunDriver::checkProducts(IRegistry& registry)
{
    ProductReasons reasons;
    int check = ::checkProducts(*m_place.profile, registry, m_place.iniPath, m_products, &reasons);
    m_facts.productCheck = check;
    m_account.noteProducts(check, m_products, reasons);
    if (check == kProductsApplicable) {
        m_phase = Phase::Choosing;
        return;
    }
    if (check == kProductsNotFound)
        decide(RunOutcome::ProductError, "a product is not installed");
    else
        decide(RunOutcome::PatchError, "an installed product does not match, or the file is malformed");
    postOutcome(RunPost::ProductError, check);
}

void CRunDriver::chooseBuild()
{
    // [SRInfo] is read here, once: the build's source, its pins, its signer.
    BuildSource source = readBuildSource(*m_place.profile, m_place.iniPath);
    const RunSource& run = source.run;
    int id = getSRIdFromFile(*m_place.profile, m_place.iniPath, m_products, run.srNo.c_str());
    traceLog("[Veldrun] getSRIdFromFile => ID: %d\n", id);
    m_facts.buildId = id;
    m_account.noteSelection(id, m_products, run.srNo.c_str());
    addPackageSigner(source, [this](unsigned char digest[kSha256Size]) { return m_platform->packageSigner(digest); });
    m_signer = source.signer;
    m_bAnyPin = run.anyPin;
    m_nStallSeconds = secondsOf(kStallSeconds, run.stallSeconds);
    m_nDownloadSeconds = secondsOf(kDownloadSeconds, run.downloadSeconds);
    m_patchArgs = patchArguments(m_bSilent, run.silentArgs.c_str(), run.args.c_str());
    // The timer runs for every outcome of the selection.
    m_platform->setTimer(true);
    if (!source.run.signerProblem.empty()) {
        // A signer that no patch could satisfy: the file is at fault.
        traceLog("[Veldrun] Signer => %s, no download\n", run.signerProblem.c_str());
        decide(RunOutcome::PatchError, run.signerProblem.c_str());
        postOutcome(RunPost::ProductError, kProductsMismatch);
        return;
    }
    if (id == kPatchAlreadyApplied) {
        decide(RunOutcome::AlreadyApplied, "the installed products carry the patch");
        postOutcome(RunPost::Patched);
        return;
    }
    m_plan = planFetches(id, run.server.c_str(), run.srNo.c_str());
    for (PlannedFetch& fetch : m_plan) {
        char key[kPinKeySize];
        pinKeyName(fetch.pinFolder, key, sizeof key);
        fetch.pin = srInfo(key);
        fetch.sizePin = sizePinFor(*m_place.profile, m_place.iniPath, fetch.pinFolder);
    }
    m_nFetch = 0;
    startPlanned();
}

void CRunDriver::startPlanned()
{
    const PlannedFetch& planned = m_plan[m_nFetch];
    if (planned.url.empty()) {
        traceLog("[Veldrun] updateDownloadURL => URL too long, rejected\n");
        notStarted("the download URL is too long");
        return;
    }
    m_phase = Phase::Downloading;
    m_nDownloadStartMs = m_platform->nowMs();
    if (!m_nJitter)
        m_nJitter = static_cast<std::uint32_t>(m_nDownloadStartMs * 2654435761u) | 1u;
    m_attempts = CDownloadAttempts(m_nDownloadStartMs + static_cast<std::uint64_t>(m_nDownloadSeconds) * 1000u, [this] {
        m_nJitter ^= m_nJitter << 13;
        m_nJitter ^= m_nJitter >> 17;
        m_nJitter ^= m_nJitter << 5;
        return m_nJitter;
    });
    m_basis = ResumeBasis();
    m_finalUrl.clear();
    m_nResumeFrom = 0;
    RunFetch fetch;
    fetch.url = planned.url;
    m_facts.fetches.push_back(fetch);
    startAttempt();
}

void CRunDriver::startAttempt()
{
    const PlannedFetch& planned = m_plan[m_nFetch];
    m_body = CBodyProgress(m_platform->nowMs());
    m_nBodyBytes = 0;
    m_bStallStop = false;
    DownloadTarget target;
    target.url = planned.url.c_str();
    target.runDir = m_place.runDir;
    target.pinFolder = planned.pinFolder;
    target.pinned = !planned.pin.empty();
    target.sizePin = planned.sizePin;
    target.resumeFrom = m_nResumeFrom;
    target.basis = m_basis;
    target.attempt = m_attempts.attempts();
    if (m_attempts.attempts() > 1 && m_nResumeFrom)
        traceLog("[Veldrun] Download attempt %u: %s from byte %llu\n", m_attempts.attempts(), target.url,
                 static_cast<unsigned long long>(m_nResumeFrom));
    else if (m_attempts.attempts() > 1)
        traceLog("[Veldrun] Download attempt %u: %s\n", m_attempts.attempts(), target.url);
    m_bFetchRunning = m_platform->startDownload(target);
    if (m_bFetchRunning)
        return;
    if (m_attempts.attempts() == 1) {
        notStarted("the download could not be started");
        return;
    }
    // What an earlier attempt left cannot be gone on with.
    noteEnd(FetchEnd::NotStarted);
    dropPartial();
    failedTransfer();
}

void CRunDriver::dropPartial()
{
    if (m_bPartialHeld)
        m_platform->removeDownload(false);
    m_bPartialHeld = false;
    m_bRetryWaiting = false;
}

void CRunDriver::notStarted(const char* reason)
{
    noteEnd(FetchEnd::NotStarted);
    if (!decide(RunOutcome::NotStarted, reason))
        return;
    // The patch error's box says so in a visible run; a silent one ends.
    if (m_bSilent)
        m_platform->end();
    else
        postOutcome(RunPost::ProductError, kProductsMismatch);
}

void CRunDriver::failedTransfer()
{
    if (m_nFetch + 1 < m_plan.size()) {
        ++m_nFetch;
        startPlanned();
        return;
    }
    if (decide(RunOutcome::ServerError, "no startable download"))
        postOutcome(RunPost::ServerError);
}

void CRunDriver::onProgress(unsigned statusCode, std::uint64_t bytes)
{
    if (m_phase != Phase::Downloading)
        return;
    // A server that answers with redirects or headers alone makes none.
    const bool body = statusCode == kBindStatusDownloadingData || statusCode == kBindStatusEndDownloadData;
    if (body && bytes > m_nBodyBytes) {
        m_body.onBody(bytes - m_nBodyBytes, m_platform->nowMs());
        m_nBodyBytes = bytes;
    }
    if (statusCode == kBindStatusConnecting)
        m_platform->showStatus(IDS_CONNECTING);
    else if (statusCode == kBindStatusBeginDownloadData)
        m_platform->showStatus(IDS_DOWNLOADING);
}

bool CRunDriver::judgeHeld(const DownloadEnd& end, std::string& said, int& pinVerdict, int& signerVerdict)
{
    pinVerdict = kPinNone;
    signerVerdict = 0;
    // The worker's verdict first (a file that merely exists proves
    // nothing), then the pin, then the signer, each on the held file.
    const bool good = end.verdict == DownloadVerdict::Good && end.held;
    said = describeDownload(end.verdict, end.facts);
    if (!good)
        return false;
    const int folder = m_plan[m_nFetch].pinFolder;
    char key[kPinKeySize] = {};
    pinKeyName(folder, key, sizeof key);
    const std::string& pinText = m_plan[m_nFetch].pin;
    unsigned char digest[kSha256Size];
    const int pin = pinText.empty()
                        ? kPinNone
                        : judgeFolderPin(folder, pinText.c_str(), m_platform->heldDigest(digest) ? digest : nullptr);
    pinVerdict = pin == kPinNone && m_bAnyPin ? kPinMismatch : pin;
    if (pin == kPinNone && m_bAnyPin) {
        traceLog("[Veldrun] checkDownloadPin => no pin %s, download refused\n", key);
        said += std::string(", no pin ") + key + " (file removed)";
        return false;
    }
    if (pin == kPinMismatch) {
        said += std::string(", pin ") + key + " did not match (file removed)";
        return false;
    }
    if (pin == kPinMatch)
        said += std::string(", pin ") + key + " matched";
    if (m_signer.kind == kSignerKeyNone)
        return true;
    std::string subject;
    int signer = m_platform->heldSigner(m_signer, subject);
    signerVerdict = signer;
    said += ", " + signerVerdictText(signer, subject);
    if (signer == kSignerMatch)
        return true;
    said += " (file removed)";
    return false;
}

AttemptResult CRunDriver::attemptResult(const DownloadEnd& end, bool stallStop) const
{
    const DownloadFacts& f = end.facts;
    AttemptResult r;
    r.heldBytes = f.fileSize;
    r.resumable = m_basis.usable() && !f.encoded && f.fileSize > 0 && f.fileSize < m_basis.total;
    // Only bytes the next attempt goes on from are progress: a body that
    // is fetched from the start each time brings none.
    r.progressed = r.resumable && f.bodyBytes > 0 && f.fileSize > m_nResumeFrom;
    if (stallStop)
        r.end = AttemptEnd::Stalled;
    else if (f.redirect != 0 || f.sizeStop != DownloadFacts::kSizeKept || end.verdict == DownloadVerdict::EndUnknown ||
             end.verdict == DownloadVerdict::SizeRefused)
        r.end = AttemptEnd::Refused; // what the server sends is refused the same way next time
    else if (f.rangeFailed || (end.verdict == DownloadVerdict::ServerStatus && f.httpStatus == 416))
        r.end = AttemptEnd::BadRange;
    else if (end.verdict == DownloadVerdict::ServerStatus) {
        r.end = AttemptEnd::HttpStatus;
        r.status = static_cast<int>(f.httpStatus);
        r.retryAfter = f.retryAfter.empty() ? nullptr : f.retryAfter.c_str();
        r.date = f.date.empty() ? nullptr : f.date.c_str();
    } else if (end.verdict == DownloadVerdict::Incomplete ||
               (end.verdict == DownloadVerdict::CallFailed && !f.aborted && (f.statusKnown || f.connecting)))
        r.end = AttemptEnd::ConnectionLost;
    else
        r.end = AttemptEnd::Refused; // no file, a name that did not resolve, a write that failed
    return r;
}

void CRunDriver::onDownloadEnded(const DownloadEnd& end)
{
    if (!m_platform || !m_bFetchRunning)
        return;
    m_bFetchRunning = false;
    const bool stallStop = m_bStallStop;
    m_bStallStop = false;
    if (m_phase != Phase::Downloading) {
        // The outcome is decided (the connection was lost, the run ended):
        // this download is started by nobody.
        noteEnd(FetchEnd::NotUsed);
        m_platform->removeDownload(false);
        m_bPartialHeld = false;
        return;
    }
    const DownloadFacts& f = end.facts;
    if (!f.finalUrl.empty() && f.finalUrl != m_finalUrl && f.finalUrl != m_plan[m_nFetch].url) {
        m_finalUrl = f.finalUrl;
        traceLog("[Veldrun] Download final URL: %s\n", m_finalUrl.c_str());
    }
    if (end.verdict != DownloadVerdict::Good) {
        // A whole answer is what later attempts resume against.
        if (f.statusKnown && f.httpStatus == 200)
            m_basis = resumeBasisOf(
                f.etag.empty() ? nullptr : f.etag.c_str(), f.lastModified.empty() ? nullptr : f.lastModified.c_str(),
                f.date.empty() ? nullptr : f.date.c_str(), f.lengthKnown && !f.encoded, f.announced, f.encoded);
        if (f.startedOver)
            m_attempts.noteStartedOver();
        const AttemptResult result = attemptResult(end, stallStop);
        const unsigned attempt = m_attempts.attempts();
        const AttemptStep step =
            m_attempts.onAttemptEnded(result, m_platform->nowMs(), static_cast<std::int64_t>(std::time(nullptr)));
        if (step.next == AttemptNext::Retry) {
            traceLog("[Veldrun] Download attempt %u ended (%s): next in %llu ms, from byte %llu\n", attempt,
                     stallStop ? "stalled" : verdictName(end.verdict), static_cast<unsigned long long>(step.waitMs),
                     static_cast<unsigned long long>(step.resumeAt));
            m_bPartialHeld = step.resumeAt != 0;
            if (!m_bPartialHeld)
                m_platform->removeDownload(false);
            m_nResumeFrom = step.resumeAt;
            m_bRetryWaiting = true;
            m_nRetryAtMs = m_platform->nowMs() + step.waitMs;
            return;
        }
    }
    m_bPartialHeld = false;
    if (stallStop && end.verdict != DownloadVerdict::Good) {
        noteEnd(FetchEnd::Stalled, "", m_nStallSeconds);
        m_platform->removeDownload(false);
        failedTransfer();
        return;
    }
    std::string said;
    int pin = kPinNone;
    int signer = 0;
    bool startable = judgeHeld(end, said, pin, signer);
    const bool running = !m_facts.fetches.empty() && m_facts.fetches.back().end == FetchEnd::Running;
    noteEnd(FetchEnd::Transferred, said);
    if (running) {
        RunFetch& fetch = m_facts.fetches.back();
        fetch.transfer = static_cast<int>(end.verdict);
        fetch.pin = pin;
        fetch.signer = signer;
    }
    if (!startable) {
        m_platform->removeDownload(false);
        failedTransfer();
        return;
    }
    startPatch(end.localPath);
}

void CRunDriver::startPatch(const std::string& localPath)
{
    char line[kCommandLineSize] = {};
    if (!composePatchCommandLine(line, sizeof line, localPath.c_str(), m_patchArgs.c_str())) {
        m_platform->removeDownload(false);
        notStarted("the patch's command line is too long");
        return;
    }
    m_facts.commandLine = line;
    m_phase = Phase::Installing;
    PatchStartResult result = m_platform->startPatch(m_facts.commandLine, m_bSilent, m_place.wait);
    if (!result.started) {
        m_facts.patchStartError = result.error;
        m_platform->removeDownload(false);
        notStarted("the patch could not be started");
        return;
    }
    m_facts.patchWaited = m_place.wait;
    m_facts.patchExitCode = result.exitCode;
    decide(RunOutcome::PatchStarted, m_place.wait ? "the patch was started and has ended" : "the patch was started");
    m_phase = Phase::Ended;
    // A patch that was waited for is done with its file; one still running
    // may need it until the next restart.
    m_platform->removeDownload(!m_place.wait);
    m_platform->end();
}

void CRunDriver::onTimerTick()
{
    if (m_phase != Phase::Downloading || (!m_bFetchRunning && !m_bRetryWaiting))
        return;
    if (!m_platform->online()) {
        traceLog("[Veldrun] Internet Lost\n");
        noteEnd(FetchEnd::ConnectionLost);
        decide(RunOutcome::ServerError, "the connection was lost");
        if (m_bRetryWaiting)
            dropPartial();
        m_platform->setTimer(false);
        postOutcome(RunPost::ServerError);
        return;
    }
    const std::uint64_t now = m_platform->nowMs();
    const bool overdue =
        now >= m_nDownloadStartMs && now - m_nDownloadStartMs >= static_cast<std::uint64_t>(m_nDownloadSeconds) * 1000u;
    if (m_bRetryWaiting) {
        if (overdue) {
            traceLog("[Veldrun] Download too slow: not done after %u s\n", m_nDownloadSeconds);
            noteEnd(FetchEnd::Overdue, "", m_nDownloadSeconds);
            dropPartial();
            failedTransfer();
        } else if (now >= m_nRetryAtMs) {
            m_bRetryWaiting = false;
            startAttempt();
        }
        return;
    }
    if (overdue) {
        traceLog("[Veldrun] Download too slow: not done after %u s\n", m_nDownloadSeconds);
        noteEnd(FetchEnd::Overdue, "", m_nDownloadSeconds);
    } else if (m_bStallStop) {
        // Told to stop for a stall, the worker reports its end (and the
        // next attempt resumes); one that does not within the grace is ended.
        if (now >= m_nStallStopMs && now - m_nStallStopMs < kStallStopGraceMs)
            return;
        traceLog("[Veldrun] The stalled download did not stop within %llu ms\n",
                 static_cast<unsigned long long>(kStallStopGraceMs));
        noteEnd(FetchEnd::Stalled, "", m_nStallSeconds);
    } else {
        if (!m_body.stalled(now, static_cast<std::uint64_t>(m_nStallSeconds) * 1000u))
            return;
        traceLog("[Veldrun] Download stalled: no progress for %u s\n", m_nStallSeconds);
        m_bStallStop = true;
        m_nStallStopMs = now;
        m_platform->cancelDownload(false);
        return;
    }
    // An overdue transfer, or one that would not stop, counts as a failed
    // one; its worker goes first, so that at most one worker exists.
    m_platform->cancelDownload(true);
    m_bFetchRunning = false;
    m_bStallStop = false;
    m_bPartialHeld = false;
    m_platform->removeDownload(false);
    failedTransfer();
}

void CRunDriver::onCancel()
{
    if (m_bFetchRunning && m_platform)
        m_platform->cancelDownload(false);
    if (m_bRetryWaiting && m_platform)
        dropPartial();
    // Cancel decides only an undecided run; an error being shown keeps it.
    if (decide(RunOutcome::Cancelled, "the user cancelled"))
        noteEnd(FetchEnd::Cancelled);
    m_phase = Phase::Ended;
    if (m_platform)
        m_platform->end();
}

void CRunDriver::onOutcomeMessage(RunPost which, int param)
{
    if (!m_platform)
        return;
    // Normally decided when the message was posted; a message from elsewhere
    // decides by its kind.
    if (which == RunPost::ProductError)
        decide(param == kProductsNotFound ? RunOutcome::ProductError : RunOutcome::PatchError, "product check");
    else if (which == RunPost::ServerError)
        decide(RunOutcome::ServerError, "server error");
    else if (which == RunPost::Patched)
        decide(RunOutcome::AlreadyApplied, "already applied");
    unsigned box = 0;
    bool error = true;
    switch (m_outcome) {
    case RunOutcome::ProductError:
        box = IDS_PRODUCT_ERROR;
        break;
    case RunOutcome::PatchError:
    case RunOutcome::NotExtracted:
    case RunOutcome::NotStarted:
        box = IDS_PATCH_ERROR;
        break;
    case RunOutcome::ServerError:
        box = IDS_SERVER_ERROR;
        break;
    case RunOutcome::AlreadyApplied:
        box = IDS_ALREADY_APPLIED;
        error = false;
        break;
    default:
        break;
    }
    if (box && !m_bSilent)
        m_platform->showBox(box, error);
    m_platform->end();
}

void CRunDriver::finish()
{
    if (m_platform && m_bFetchRunning) {
        // A download still running (or told to stop) is started by nobody.
        m_platform->cancelDownload(true);
        m_platform->removeDownload(false);
        noteEnd(FetchEnd::NotUsed);
    } else if (m_platform && m_bRetryWaiting) {
        // Between two attempts: nothing runs, what the last left goes.
        dropPartial();
        noteEnd(FetchEnd::NotUsed);
    }
    m_bFetchRunning = m_bRetryWaiting = m_bPartialHeld = false;
    m_phase = Phase::Ended;
    m_platform = nullptr;
}
