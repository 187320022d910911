#include "update/UpdateRules.h"

#include "app/ExitStatus.h"
#include "common/FixedBuf.h"
#include "products/ProductCheck.h"

namespace {
bool keepWhole(bool fitted, char* out, std::size_t cap)
{
    if (!fitted && out && cap > 0)
        out[0] = '\0';
    return fitted;
}
} // namespace

bool composeFirstURL(char* out, std::size_t cap, const char* server, int id, const char* srNo)
{
    bool fitted = id == kPatchGeneric ? formatBounded(out, cap, "%s/max/%s.exe", server, srNo)
                                        : formatBounded(out, cap, "%s/%d/%s.exe", server, id, srNo);
    return keepWhole(fitted, out, cap);
}

bool composeFallbackURL(char* out, std::size_t cap, const char* server, const char* srNo)
{
    return keepWhole(formatBounded(out, cap, "%s/Max/%s.exe", server, srNo), out, cap);
}

bool firstDownloadAllowsFallback(int id) { return id != kPatchGeneric; }

EndAction endOfDownloadAction(bool fileGood, bool allowFallback)
{
    if (fileGood)
        return EndAction::Install;
    return allowFallback ? EndAction::Fallback : EndAction::ServerError;
}

bool composePatchCommandLine(char* out, std::size_t cap, const char* localPath, bool silent)
{
    return keepWhole(formatBounded(out, cap, "\"%s\" %s", localPath, silent ? "/s" : ""), out, cap);
}

int exitStatusFor(RunOutcome outcome, bool waited, unsigned long patchExitCode)
{
    switch (outcome) {
    case RunOutcome::PatchStarted:
        return waited ? static_cast<int>(patchExitCode) : kExitPatchStarted;
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
    case RunOutcome::Running:
    case RunOutcome::NotStarted:
        return kExitNotStarted;
    }
    return kExitNotStarted;
}

RunOutcome outcomeOnCancel(RunOutcome current)
{
    return current == RunOutcome::Running ? RunOutcome::Cancelled : current;
}

TimerAction connectivityTick(unsigned timerId, bool workerHeld, bool connected)
{
    if (timerId != kConnectivityTimerId)
        return TimerAction::Default;
    return workerHeld && !connected ? TimerAction::ServerError : TimerAction::Nothing;
}
