#include "update/RunDriver.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/PatchInfoKeys.h"
#include "update/BuildSource.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"
#include "update/UpdateRules.h"

#include "resource.h"

namespace {
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
    m_nLastProgressMs = m_nDownloadStartMs = m_platform->nowMs();
    RunFetch fetch;
    fetch.url = planned.url;
    m_facts.fetches.push_back(fetch);
    DownloadTarget target;
    target.url = planned.url.c_str();
    target.runDir = m_place.runDir;
    target.iniPath = m_place.iniPath;
    target.profile = m_place.profile;
    target.pinFolder = planned.pinFolder;
    m_bFetchRunning = m_platform->startDownload(target);
    if (!m_bFetchRunning)
        notStarted("the download could not be started");
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

void CRunDriver::onProgress(unsigned statusCode)
{
    if (m_phase != Phase::Downloading)
        return;
    m_nLastProgressMs = m_platform->nowMs();
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

void CRunDriver::onDownloadEnded(const DownloadEnd& end)
{
    if (!m_platform || !m_bFetchRunning)
        return;
    m_bFetchRunning = false;
    if (m_phase != Phase::Downloading) {
        // The outcome is decided (the connection was lost, the run ended):
        // this download is started by nobody.
        noteEnd(FetchEnd::NotUsed);
        m_platform->removeDownload(false);
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
    if (m_phase != Phase::Downloading || !m_bFetchRunning)
        return;
    if (!m_platform->online()) {
        traceLog("[Veldrun] Internet Lost\n");
        noteEnd(FetchEnd::ConnectionLost);
        decide(RunOutcome::ServerError, "the connection was lost");
        m_platform->setTimer(false);
        postOutcome(RunPost::ServerError);
        return;
    }
    const std::uint64_t now = m_platform->nowMs();
    if (now >= m_nDownloadStartMs &&
        now - m_nDownloadStartMs >= static_cast<std::uint64_t>(m_nDownloadSeconds) * 1000u) {
        traceLog("[Veldrun] Download too slow: not done after %u s\n", m_nDownloadSeconds);
        noteEnd(FetchEnd::Overdue, "", m_nDownloadSeconds);
    } else {
        if (now < m_nLastProgressMs || now - m_nLastProgressMs < static_cast<std::uint64_t>(m_nStallSeconds) * 1000u)
            return;
        traceLog("[Veldrun] Download stalled: no progress for %u s\n", m_nStallSeconds);
        noteEnd(FetchEnd::Stalled, "", m_nStallSeconds);
    }
    // A stalled or overdue transfer counts as a failed one; its worker goes
    // first, so that at most one worker exists.
    m_platform->cancelDownload(true);
    m_bFetchRunning = false;
    m_platform->removeDownload(false);
    failedTransfer();
}

void CRunDriver::onCancel()
{
    if (m_bFetchRunning && m_platform)
        m_platform->cancelDownload(false);
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
    }
    m_bFetchRunning = false;
    m_phase = Phase::Ended;
    m_platform = nullptr;
}
