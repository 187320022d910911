#include "update/UpdateRun.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/ProductCheck.h"
#include "update/FetchPlan.h"
#include "update/PatchPin.h"
#include "update/PatchSigner.h"
#include "update/ProgressText.h"

#include "resource.h"

std::string RunFetch::verdict() const
{
    switch (end) {
    case FetchEnd::Running:
        return "";
    case FetchEnd::Transferred:
        return words;
    case FetchEnd::Stalled:
        return "no progress for " + std::to_string(seconds) + " s";
    case FetchEnd::Overdue:
        return "not done after " + std::to_string(seconds) + " s";
    case FetchEnd::Cancelled:
        return "cancelled";
    case FetchEnd::ConnectionLost:
        return "connection lost";
    case FetchEnd::NotStarted:
        return "not started";
    case FetchEnd::NotUsed:
        return "not used";
    }
    return "?";
}

const char* outcomeName(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Running:
        return "running";
    case RunOutcome::PatchStarted:
        return "patch started";
    case RunOutcome::ProductError:
        return "product error";
    case RunOutcome::PatchError:
        return "patch error";
    case RunOutcome::ServerError:
        return "server error";
    case RunOutcome::AlreadyApplied:
        return "already applied";
    case RunOutcome::Cancelled:
        return "cancelled";
    case RunOutcome::NotStarted:
        return "not started";
    case RunOutcome::NotExtracted:
        return "patch information file not extracted";
    case RunOutcome::HelpShown:
        return "usage shown";
    }
    return "?";
}

namespace {
// A [SRInfo] time key: the value when in range, else the default (traced
// unless the key was missing).
unsigned secondsInRange(const char* key, int value, int min, int max, int def)
{
    if (value >= min && value <= max)
        return static_cast<unsigned>(value);
    if (value != 0)
        traceLog("[Veldrun] %s %d out of range, %d used\n", key, value, def);
    return static_cast<unsigned>(def);
}
} // namespace

CUpdateRun::CUpdateRun(bool silent) : m_bSilent(silent) {}

int CUpdateRun::exitStatus() const
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

bool CUpdateRun::decide(RunOutcome outcome, const char* reason)
{
    if (m_outcome != RunOutcome::Running)
        return false;
    m_outcome = outcome;
    m_facts.reason = reason;
    if (outcome != RunOutcome::PatchStarted)
        m_phase = Phase::Ended;
    return true;
}

int CUpdateRun::pinFolder() const
{
    // Before the build is chosen: the first download's folder, as before.
    return m_nFetch < m_plan.size() ? m_plan[m_nFetch].pinFolder : pinFolderFor(m_facts.buildId, false);
}

bool CUpdateRun::checksSigner(int pin) const
{
    return downloading() && m_bSignerRequired && pin != kPinMismatch;
}

void CUpdateRun::noteEnd(FetchEnd end, const std::string& words, unsigned seconds)
{
    if (m_facts.fetches.empty() || m_facts.fetches.back().end != FetchEnd::Running)
        return;
    RunFetch& fetch = m_facts.fetches.back();
    fetch.end = end;
    fetch.words = words;
    fetch.seconds = seconds;
}

RunStep CUpdateRun::onLaunch(bool help, int extractResult)
{
    RunStep step;
    m_facts.extractResult = extractResult;
    if (help) {
        decide(RunOutcome::HelpShown, "the switches were asked for");
        step.showUsage = true;
        step.quit = true;
    } else if (extractResult != 1) {
        decide(RunOutcome::NotExtracted, "the patch information file could not be extracted");
    }
    return step;
}

RunStep CUpdateRun::onInitDialog()
{
    RunStep step;
    if (m_outcome == RunOutcome::NotExtracted) {
        // Nothing is read; the patch error's box reports it.
        step.post = RunPost::ProductError;
        step.postParam = kProductsMismatch;
        return step;
    }
    if (m_phase != Phase::Starting)
        return step;
    m_phase = Phase::Checking;
    step.status = IDS_RETRIEVING;
    step.checkProducts = true;
    return step;
}

RunStep CUpdateRun::onProductsChecked(int check, const std::vector<ProductInfo>& products,
                                      const ProductReasons& reasons)
{
    RunStep step;
    if (m_phase != Phase::Checking)
        return step;
    m_facts.productCheck = check;
    m_products = products;
    m_account.noteProducts(check, m_products, reasons);
    if (check == kProductsApplicable) {
        m_phase = Phase::Choosing;
        step.chooseBuild = true;
        return step;
    }
    if (check == kProductsNotFound)
        decide(RunOutcome::ProductError, "a product is not installed");
    else
        decide(RunOutcome::PatchError, "an installed product does not match, or the file is malformed");
    step.post = RunPost::ProductError;
    step.postParam = check;
    return step;
}

RunStep CUpdateRun::onBuildChosen(int id, const RunSource& source, std::uint64_t nowMs)
{
    RunStep step;
    if (m_phase != Phase::Choosing)
        return step;
    m_facts.buildId = id;
    m_account.noteSelection(id, m_products, source.srNo.c_str());
    m_bAnyPin = source.anyPin;
    m_bSignerRequired = source.signerRequired;
    m_nStallSeconds =
        secondsInRange(kStallSecondsKey, source.stallSeconds, kStallSecondsMin, kStallSecondsMax, kStallSecondsDefault);
    m_nDownloadSeconds = secondsInRange(kDownloadSecondsKey, source.downloadSeconds, kDownloadSecondsMin,
                                        kDownloadSecondsMax, kDownloadSecondsDefault);
    m_patchArgs = patchArguments(m_bSilent, source.silentArgs.c_str(), source.args.c_str());
    // The timer runs for every outcome of the selection.
    step.startTimer = true;
    if (!source.signerProblem.empty()) {
        // A signer that no patch could satisfy: the file is at fault.
        traceLog("[Veldrun] Signer => %s, no download\n", source.signerProblem.c_str());
        decide(RunOutcome::PatchError, source.signerProblem.c_str());
        step.post = RunPost::ProductError;
        step.postParam = kProductsMismatch;
        return step;
    }
    if (id == kPatchAlreadyApplied) {
        decide(RunOutcome::AlreadyApplied, "the installed products carry the patch");
        step.post = RunPost::Patched;
        return step;
    }
    m_plan = planFetches(id, source.server.c_str(), source.srNo.c_str());
    m_nFetch = 0;
    RunStep next = startPlanned(nowMs);
    next.startTimer = true;
    return next;
}

RunStep CUpdateRun::startPlanned(std::uint64_t nowMs)
{
    const std::string& url = m_plan[m_nFetch].url;
    return url.empty() ? urlTooLong() : download(url, nowMs);
}

RunStep CUpdateRun::download(const std::string& url, std::uint64_t nowMs)
{
    RunStep step;
    m_phase = Phase::Downloading;
    m_nLastProgressMs = nowMs;
    m_nDownloadStartMs = nowMs;
    RunFetch fetch;
    fetch.url = url;
    m_facts.fetches.push_back(fetch);
    step.download = url;
    return step;
}

RunStep CUpdateRun::urlTooLong()
{
    traceLog("[Veldrun] updateDownloadURL => URL too long, rejected\n");
    return notStarted("the download URL is too long");
}

RunStep CUpdateRun::notStarted(const char* reason)
{
    RunStep step;
    noteEnd(FetchEnd::NotStarted);
    if (decide(RunOutcome::NotStarted, reason) && m_bSilent)
        step.quit = true; // a visible run keeps its window until Cancel
    return step;
}

RunStep CUpdateRun::onDownloadRefused()
{
    if (m_phase != Phase::Downloading || m_outcome != RunOutcome::Running)
        return RunStep();
    return notStarted("the download could not be started");
}

RunStep CUpdateRun::failedTransfer(std::uint64_t nowMs)
{
    if (m_nFetch + 1 < m_plan.size()) {
        ++m_nFetch;
        return startPlanned(nowMs);
    }
    RunStep step;
    if (decide(RunOutcome::ServerError, "no startable download"))
        step.post = RunPost::ServerError;
    return step;
}

RunStep CUpdateRun::onProgress(unsigned statusCode, std::uint64_t nowMs)
{
    RunStep step;
    if (m_phase != Phase::Downloading)
        return step;
    m_nLastProgressMs = nowMs;
    if (statusCode == kBindStatusConnecting)
        step.status = IDS_CONNECTING;
    else if (statusCode == kBindStatusBeginDownloadData)
        step.status = IDS_DOWNLOADING;
    return step;
}

RunStep CUpdateRun::onDownloadEnded(bool good, int pin, const char* verdict, const char* localPath, std::uint64_t nowMs,
                                    int signer, const char* signerText, int transfer)
{
    RunStep step;
    if (m_phase != Phase::Downloading) {
        // The outcome is decided (the connection was lost, the run ended):
        // this download is started by nobody.
        noteEnd(FetchEnd::NotUsed);
        step.removeDownload = true;
        return step;
    }
    bool pinned = good && (pin == kPinMatch || (pin == kPinNone && !m_bAnyPin));
    bool startable = pinned && (!m_bSignerRequired || signer == kSignerMatch);
    char key[kPinKeySize] = {};
    pinKeyName(pinFolder(), key, sizeof key);
    std::string said = verdict ? verdict : "?";
    if (good && pin == kPinNone && m_bAnyPin) {
        traceLog("[Veldrun] checkDownloadPin => no pin %s, download refused\n", key);
        said += std::string(", no pin ") + key + " (file removed)";
    } else if (good && pin == kPinMatch) {
        said += std::string(", pin ") + key + " matched";
    } else if (good && pin != kPinNone) {
        said += std::string(", pin ") + key + " did not match (file removed)";
    }
    if (pinned && m_bSignerRequired)
        said += std::string(", ") + (signerText && *signerText ? signerText : signerVerdictText(signer, "").c_str()) +
                (startable ? "" : " (file removed)");
    // Words that say nothing leave the download open, as if unfinished.
    if (!said.empty() && !m_facts.fetches.empty() && m_facts.fetches.back().end == FetchEnd::Running) {
        noteEnd(FetchEnd::Transferred, said);
        RunFetch& fetch = m_facts.fetches.back();
        fetch.transfer = transfer;
        fetch.pin = good ? (pin == kPinNone && m_bAnyPin ? kPinMismatch : pin) : kPinNone;
        fetch.signer = pinned ? signer : 0;
    }
    if (!startable) {
        step = failedTransfer(nowMs);
        step.removeDownload = true;
        return step;
    }
    char line[kCommandLineSize] = {};
    if (!composePatchCommandLine(line, sizeof line, localPath ? localPath : "", m_patchArgs.c_str())) {
        step = notStarted("the patch's command line is too long");
        step.removeDownload = true;
        return step;
    }
    m_facts.commandLine = line;
    m_phase = Phase::Installing;
    step.startPatch = true;
    return step;
}

RunStep CUpdateRun::onPatchStarted(bool waited, unsigned long exitCode)
{
    RunStep step;
    if (m_phase != Phase::Installing)
        return step;
    m_facts.patchWaited = waited;
    m_facts.patchExitCode = exitCode;
    decide(RunOutcome::PatchStarted, waited ? "the patch was started and has ended" : "the patch was started");
    m_phase = Phase::Ended;
    // A patch that was waited for is done with its file; one still running
    // may need it until the next restart.
    step.removeDownload = waited;
    step.removeAtRestart = !waited;
    step.quit = true;
    return step;
}

RunStep CUpdateRun::onPatchStartFailed(unsigned long error)
{
    if (m_phase != Phase::Installing)
        return RunStep();
    m_facts.patchStartError = error;
    RunStep step = notStarted("the patch could not be started");
    step.removeDownload = true;
    return step;
}

RunStep CUpdateRun::onTimerTick(bool connected, std::uint64_t nowMs)
{
    RunStep step;
    if (m_phase != Phase::Downloading)
        return step;
    if (!connected) {
        traceLog("[Veldrun] Internet Lost\n");
        noteEnd(FetchEnd::ConnectionLost);
        decide(RunOutcome::ServerError, "the connection was lost");
        step.stopTimer = true;
        step.post = RunPost::ServerError;
        return step;
    }
    if (nowMs >= m_nDownloadStartMs &&
        nowMs - m_nDownloadStartMs >= static_cast<std::uint64_t>(m_nDownloadSeconds) * 1000u) {
        traceLog("[Veldrun] Download too slow: not done after %u s\n", m_nDownloadSeconds);
        noteEnd(FetchEnd::Overdue, "", m_nDownloadSeconds);
    } else {
        std::uint64_t idleMs = nowMs - m_nLastProgressMs;
        if (nowMs < m_nLastProgressMs || idleMs < static_cast<std::uint64_t>(m_nStallSeconds) * 1000u)
            return step;
        traceLog("[Veldrun] Download stalled: no progress for %u s\n", m_nStallSeconds);
        noteEnd(FetchEnd::Stalled, "", m_nStallSeconds);
    }
    // A stalled or overdue transfer counts as a failed one; its worker goes first, so
    // that at most one worker exists.
    step = failedTransfer(nowMs);
    step.endWorker = true;
    step.removeDownload = true;
    return step;
}

RunStep CUpdateRun::onCancel()
{
    RunStep step;
    step.cancelWorker = m_phase == Phase::Downloading;
    // Cancel decides only an undecided run: a visible run whose download
    // could not start exits 6 when cancelled; an error being shown keeps it.
    if (decide(RunOutcome::Cancelled, "the user cancelled"))
        noteEnd(FetchEnd::Cancelled);
    m_phase = Phase::Ended;
    return step;
}

RunStep CUpdateRun::onOutcomeMessage(RunPost which, int param)
{
    RunStep step;
    // Normally decided when the message was posted; a message from elsewhere
    // decides by its kind.
    if (which == RunPost::ProductError)
        decide(param == kProductsNotFound ? RunOutcome::ProductError : RunOutcome::PatchError, "product check");
    else if (which == RunPost::ServerError)
        decide(RunOutcome::ServerError, "server error");
    else if (which == RunPost::Patched)
        decide(RunOutcome::AlreadyApplied, "already applied");
    switch (m_outcome) {
    case RunOutcome::ProductError:
        step.box = IDS_PRODUCT_ERROR;
        break;
    case RunOutcome::PatchError:
    case RunOutcome::NotExtracted:
        step.box = IDS_PATCH_ERROR;
        break;
    case RunOutcome::ServerError:
        step.box = IDS_SERVER_ERROR;
        break;
    case RunOutcome::AlreadyApplied:
        step.box = IDS_ALREADY_APPLIED;
        step.boxIsError = false;
        break;
    default:
        break;
    }
    if (m_bSilent)
        step.box = 0;
    step.quit = true;
    return step;
}
