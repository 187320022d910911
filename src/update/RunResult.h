#pragma once
// How a run ended, for deployment tools: one reason from a fixed list, the
// event that reports it, and the "/result FILE" document (docs/result.md,
// docs/result.schema.json). The exit statuses stay as they are; the reason
// tells apart what one exit status covers (exit 3: a host that is down, an
// HTTP error, a stall, a pin mismatch, a refused publisher). Portable.

#include "products/ProductInfo.h"

#include <string>
#include <vector>

class CRunDriver;

// The reasons, each spelled by reasonId as a stable identifier.
enum class RunReason {
    PatchStarted,      // "patch_started": started, not waited for (exit 0)
    PatchEnded,        // "patch_ended": started and waited for; its exit code is the run's
    AlreadyApplied,    // "already_applied" (exit 4)
    ProductMissing,    // "product_missing" (exit 1)
    VersionMismatch,   // "version_mismatch": a product shows another identity, or the list is malformed (exit 2)
    PublisherRefused,  // "publisher_refused": the patch's signer is not the one asked for (exit 3),
                       // or the package names a signer nothing can satisfy (exit 2)
    ServerUnreachable, // "server_unreachable": no answer (name, connection, transfer failed) (exit 3)
    HttpError,         // "http_error": a status other than 2xx, or a body cut short (exit 3)
    Stalled,           // "stalled": no progress for StallSeconds (exit 3)
    Overdue,           // "overdue": not done within DownloadSeconds (exit 3)
    SizeRefused,       // "size_refused": past or other than its pinned size (exit 3)
    PinMismatch,       // "pin_mismatch": not its SHA-256 pin, or no pin where pins are given (exit 3)
    EndUnknown,        // "end_unknown": no length and no chunked framing, nothing to judge it by (exit 3)
    PatchNotStarted,   // "patch_not_started": a download or the patch could not be started (exit 6)
    Cancelled,         // "cancelled" (exit 5)
    AnotherInstance,   // "another_instance" (exit 7)
    PackageUnreadable, // "package_unreadable": the patch information file could not be extracted (exit 8)
    UsageShown,        // "usage_shown": "/?" (exit 9)
};

const char* reasonId(RunReason reason);

// The reason a run ended with, from its outcome and facts: a server error
// by its last download's end.
RunReason runReason(const CRunDriver& run);

// A reason's Application log entry: its fixed event ID and its type.
enum class EventKind { Information, Warning, Error };
struct ReasonEvent {
    unsigned id;
    EventKind kind;
};
// patchExitCode counts only for PatchEnded: a code other than 0 and the
// two restart codes is a warning.
ReasonEvent reasonEvent(RunReason reason, unsigned long patchExitCode = 0);
// Events that are not a run's end: a log or result file that could not be opened.
enum { kEventLogRefused = 4000, kEventResultRefused = 4001 };

// The document's version: raised when a field changes its meaning or goes.
enum { kResultSchema = 1 };

// What the document tells; resultOf fills the run's part.
struct RunResultFacts {
    std::string version; // the program's
    std::string package; // the package's path
    std::string started; // ISO 8601 local times with offset
    std::string ended;
    std::string outcome; // outcomeName, "patch finished" for a patch waited for
    int exitStatus = 0;
    RunReason reason = RunReason::PatchNotStarted;
    std::string outcomeLine; // without its line break
    std::string srNo;
    int productCheck = -1;
    int buildId = -1;
    std::vector<ProductInfo> products;
    struct Fetch {
        std::string url;
        std::string end;     // "transferred", "stalled", ... (FetchEnd)
        std::string verdict; // in words, as the outcome line says it
        std::string reason;  // reasonId of a download that was not started, "" for one that was
    };
    std::vector<Fetch> fetches;
    std::string commandLine; // the patch's, "" when none was composed
    bool patchStarted = false;
    bool patchWaited = false;
    unsigned long patchExitCode = 0;
    unsigned long patchStartError = 0;
};

RunResultFacts resultOf(const CRunDriver& run);
// The facts of a run that did nothing because another instance runs.
RunResultFacts anotherInstanceResult();

// The JSON document, UTF-8 (texts from the registry and the file are taken
// in the narrow code page; each is made valid UTF-8 by textToUtf8).
std::string resultDocument(const RunResultFacts& facts, std::string (*textToUtf8)(const char*));
