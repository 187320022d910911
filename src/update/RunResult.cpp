#include "update/RunResult.h"

#include "products/ProductCheck.h"
#include "update/DownloadVerdict.h"
#include "update/PatchPin.h"
#include "update/PatchSigner.h"
#include "update/RunDriver.h"

#include <cstdio>

namespace {

struct ReasonRow {
    RunReason reason;
    const char* id;
    unsigned eventId;
    EventKind kind;
};

// The one table of reasons: identifiers and event IDs never change (tools
// and monitoring rules match them); a new reason gets a new row.
const ReasonRow kReasons[] = {
    {RunReason::PatchStarted, "patch_started", 1000, EventKind::Information},
    {RunReason::PatchEnded, "patch_ended", 1001, EventKind::Information},
    {RunReason::AlreadyApplied, "already_applied", 1002, EventKind::Information},
    {RunReason::ProductMissing, "product_missing", 1003, EventKind::Information},
    {RunReason::UsageShown, "usage_shown", 1004, EventKind::Information},
    {RunReason::Cancelled, "cancelled", 2000, EventKind::Warning},
    {RunReason::AnotherInstance, "another_instance", 2001, EventKind::Warning},
    {RunReason::VersionMismatch, "version_mismatch", 3000, EventKind::Error},
    {RunReason::ServerUnreachable, "server_unreachable", 3001, EventKind::Error},
    {RunReason::HttpError, "http_error", 3002, EventKind::Error},
    {RunReason::Stalled, "stalled", 3003, EventKind::Error},
    {RunReason::Overdue, "overdue", 3004, EventKind::Error},
    {RunReason::SizeRefused, "size_refused", 3005, EventKind::Error},
    {RunReason::PinMismatch, "pin_mismatch", 3006, EventKind::Error},
    {RunReason::PublisherRefused, "publisher_refused", 3007, EventKind::Error},
    {RunReason::EndUnknown, "end_unknown", 3008, EventKind::Error},
    {RunReason::PatchNotStarted, "patch_not_started", 3009, EventKind::Error},
    {RunReason::PackageUnreadable, "package_unreadable", 3010, EventKind::Error},
};

const ReasonRow& rowOf(RunReason reason)
{
    for (const ReasonRow& row : kReasons)
        if (row.reason == reason)
            return row;
    return kReasons[0];
}

// Why a download was not started, from what its end says.
RunReason fetchReason(const RunFetch& fetch)
{
    switch (fetch.end) {
    case FetchEnd::Stalled:
        return RunReason::Stalled;
    case FetchEnd::Overdue:
        return RunReason::Overdue;
    case FetchEnd::Cancelled:
        return RunReason::Cancelled;
    case FetchEnd::ConnectionLost:
        return RunReason::ServerUnreachable;
    case FetchEnd::NotStarted:
    case FetchEnd::NotUsed:
    case FetchEnd::Running:
        return RunReason::PatchNotStarted;
    case FetchEnd::Transferred:
        break;
    }
    switch (static_cast<DownloadVerdict>(fetch.transfer)) {
    case DownloadVerdict::Good:
        break;
    case DownloadVerdict::ServerStatus:
    case DownloadVerdict::Incomplete:
        return RunReason::HttpError;
    case DownloadVerdict::SizeRefused:
        return RunReason::SizeRefused;
    case DownloadVerdict::EndUnknown:
        return RunReason::EndUnknown;
    case DownloadVerdict::NoFile:
    case DownloadVerdict::CallFailed:
    default:
        return RunReason::ServerUnreachable;
    }
    if (fetch.pin == kPinMismatch)
        return RunReason::PinMismatch;
    if (fetch.signer != kSignerNotChecked && fetch.signer != kSignerMatch)
        return RunReason::PublisherRefused;
    return RunReason::PatchNotStarted;
}

const char* fetchEndId(FetchEnd end)
{
    switch (end) {
    case FetchEnd::Running:
        return "unfinished";
    case FetchEnd::Transferred:
        return "transferred";
    case FetchEnd::Stalled:
        return "stalled";
    case FetchEnd::Overdue:
        return "overdue";
    case FetchEnd::Cancelled:
        return "cancelled";
    case FetchEnd::ConnectionLost:
        return "connection_lost";
    case FetchEnd::NotStarted:
        return "not_started";
    case FetchEnd::NotUsed:
        return "not_used";
    }
    return "unfinished";
}

// A JSON string: quotes, backslashes and control characters escaped.
std::string jsonText(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            char esc[8];
            std::snprintf(esc, sizeof esc, "\\u%04x", u);
            out += esc;
        } else {
            out += c;
        }
    }
    return out + '"';
}

std::string jsonBool(bool value)
{
    return value ? "true" : "false";
}

} // namespace

const char* reasonId(RunReason reason)
{
    return rowOf(reason).id;
}

ReasonEvent reasonEvent(RunReason reason, unsigned long patchExitCode)
{
    const ReasonRow& row = rowOf(reason);
    ReasonEvent event{row.eventId, row.kind};
    if (reason == RunReason::PatchEnded && patchExitCode != 0 && patchExitCode != kPatchExitRestartRequired &&
        patchExitCode != kPatchExitRestartInitiated)
        event.kind = EventKind::Warning;
    return event;
}

RunReason runReason(const CRunDriver& run)
{
    const RunFacts& f = run.facts();
    switch (run.outcome()) {
    case RunOutcome::PatchStarted:
        return f.patchWaited ? RunReason::PatchEnded : RunReason::PatchStarted;
    case RunOutcome::ProductError:
        return RunReason::ProductMissing;
    case RunOutcome::PatchError:
        // After an applicable product check only [SRInfo] Signer decides a patch error.
        return f.productCheck == kProductsApplicable ? RunReason::PublisherRefused : RunReason::VersionMismatch;
    case RunOutcome::ServerError:
        return f.fetches.empty() ? RunReason::ServerUnreachable : fetchReason(f.fetches.back());
    case RunOutcome::AlreadyApplied:
        return RunReason::AlreadyApplied;
    case RunOutcome::Cancelled:
        return RunReason::Cancelled;
    case RunOutcome::NotExtracted:
        return RunReason::PackageUnreadable;
    case RunOutcome::HelpShown:
        return RunReason::UsageShown;
    case RunOutcome::NotStarted:
    case RunOutcome::Running:
        break;
    }
    return RunReason::PatchNotStarted;
}

RunResultFacts resultOf(const CRunDriver& run)
{
    const RunFacts& f = run.facts();
    RunResultFacts r;
    r.outcome = f.patchWaited
                    ? "patch finished"
                    : outcomeName(run.outcome() == RunOutcome::Running ? RunOutcome::NotStarted : run.outcome());
    r.exitStatus = run.exitStatus();
    r.reason = runReason(run);
    r.outcomeLine = run.outcomeLine();
    while (!r.outcomeLine.empty() && r.outcomeLine.back() == '\n')
        r.outcomeLine.pop_back();
    r.productCheck = f.productCheck;
    r.buildId = f.buildId;
    r.products = run.products();
    for (const RunFetch& fetch : f.fetches) {
        const bool started = &fetch == &f.fetches.back() && run.outcome() == RunOutcome::PatchStarted;
        r.fetches.push_back(
            {fetch.url, fetchEndId(fetch.end), fetch.verdict(), started ? "" : reasonId(fetchReason(fetch))});
    }
    r.commandLine = f.commandLine;
    r.patchStarted = run.outcome() == RunOutcome::PatchStarted;
    r.patchWaited = f.patchWaited;
    r.patchExitCode = f.patchExitCode;
    r.patchStartError = f.patchStartError;
    return r;
}

RunResultFacts anotherInstanceResult()
{
    RunResultFacts r;
    r.outcome = "another instance";
    r.exitStatus = kExitAlreadyRunning;
    r.reason = RunReason::AnotherInstance;
    r.outcomeLine = "[Veldrun] Outcome: another instance (exit 7): another run of a package holds the instance "
                    "mutex; nothing was done";
    return r;
}

std::string resultDocument(const RunResultFacts& r, std::string (*textToUtf8)(const char*))
{
    auto text = [textToUtf8](const std::string& narrow) { return jsonText(textToUtf8(narrow.c_str())); };
    std::string doc = "{\n";
    doc += "  \"schema\": " + std::to_string(kResultSchema) + ",\n";
    doc += "  \"program\": \"Veldrun\",\n";
    doc += "  \"version\": " + jsonText(r.version) + ",\n";
    doc += "  \"package\": " + text(r.package) + ",\n";
    doc += "  \"started\": " + jsonText(r.started) + ",\n";
    doc += "  \"ended\": " + jsonText(r.ended) + ",\n";
    doc += "  \"outcome\": " + jsonText(r.outcome) + ",\n";
    doc += "  \"exit_status\": " + std::to_string(r.exitStatus) + ",\n";
    doc += "  \"reason\": " + jsonText(reasonId(r.reason)) + ",\n";
    doc += "  \"outcome_line\": " + text(r.outcomeLine) + ",\n";
    doc += "  \"sr_no\": " + text(r.srNo) + ",\n";
    doc += "  \"product_check\": " + std::to_string(r.productCheck) + ",\n";
    doc += "  \"build\": " + std::to_string(r.buildId) + ",\n";
    doc += "  \"products\": [";
    for (std::size_t i = 0; i < r.products.size(); ++i) {
        const ProductInfo& p = r.products[i];
        doc += std::string(i ? ",\n" : "\n") + "    {\"path\": " + text(p.szPath) +
               ", \"found\": " + jsonBool(p.bFound == 1) + ", \"name\": " + text(p.szProdName) +
               ", \"version\": " + text(p.szProdVer) + ", \"sr_no\": " + text(p.szSRNo) +
               ", \"sr_version\": " + text(p.szSRVer) + ", \"check\": " + text(p.szCheck) + "}";
    }
    doc += r.products.empty() ? "],\n" : "\n  ],\n";
    doc += "  \"fetches\": [";
    for (std::size_t i = 0; i < r.fetches.size(); ++i) {
        const RunResultFacts::Fetch& f = r.fetches[i];
        doc += std::string(i ? ",\n" : "\n") + "    {\"url\": " + text(f.url) + ", \"end\": " + jsonText(f.end) +
               ", \"verdict\": " + text(f.verdict) +
               ", \"reason\": " + (f.reason.empty() ? "null" : jsonText(f.reason)) + "}";
    }
    doc += r.fetches.empty() ? "],\n" : "\n  ],\n";
    doc += "  \"patch\": ";
    if (r.commandLine.empty()) {
        doc += "null\n";
    } else {
        doc += "{\"command_line\": " + text(r.commandLine) + ", \"started\": " + jsonBool(r.patchStarted) +
               ", \"waited\": " + jsonBool(r.patchWaited) +
               ", \"exit_code\": " + (r.patchWaited ? std::to_string(r.patchExitCode) : "null") +
               ", \"start_error\": " + (r.patchStartError ? std::to_string(r.patchStartError) : "null") + "}\n";
    }
    return doc + "}\n";
}
