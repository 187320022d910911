// The run's driver over a fake platform: each row an installed state,
// [SRInfo] keys (pins, signer, seconds), the server's answers and the
// user's acts as a script of events, each with the steps the platform is
// asked for ("-" for none); then the exit status and the outcome line.
#include "update/RunDriver.h"

#include "../common/TestFiles.h"
#include "common/Sha256.h"
#include "products/IniFileReader.h"
#include "products/TableRegistry.h"
#include "update/ProgressText.h"
#include "update/RunResult.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <deque>
#include <sstream>
#include <string>

namespace {

class FakePlatform : public IRunPlatform {
public:
    std::uint64_t nowMs() override { return now; }
    void showStatus(unsigned id) override { add("status" + std::to_string(id)); }
    void setTimer(bool on) override { add(on ? "timer" : "timer-off"); }
    bool online() override { return !offline; }
    bool startDownload(const DownloadTarget& target) override
    {
        add(std::string("get ") + target.url + (target.resumeFrom ? "@" + std::to_string(target.resumeFrom) : ""));
        return !refuseDownload;
    }
    void cancelDownload(bool now_) override { add(now_ ? "end-worker" : "cancel"); }
    bool heldDigest(unsigned char digest[kSha256Size]) override
    {
        CSha256 sha;
        sha.update(body.data(), body.size());
        sha.finish(digest);
        return true;
    }
    int heldSigner(const SignerPolicy&, std::string& subject) override
    {
        add("signer");
        subject = "CN=Other";
        int verdict = signers.empty() ? kSignerNoSignature : signers.front();
        if (!signers.empty())
            signers.pop_front();
        return verdict;
    }
    bool packageSigner(unsigned char digest[kSha256Size]) override
    {
        std::fill(digest, digest + kSha256Size, 0);
        return packageSigned;
    }
    void removeDownload(bool atRestart) override { add(atRestart ? "rm-at-restart" : "rm"); }
    PatchStartResult startPatch(const std::string&, bool silent, bool wait) override
    {
        add(std::string("start") + (silent ? " hidden" : "") + (wait ? " wait" : ""));
        PatchStartResult result;
        result.started = !patchFails;
        result.error = patchFails ? 193 : 0;
        result.exitCode = wait ? 3010 : 0;
        return result;
    }
    void post(RunPost which, int param) override
    {
        const char* names[] = {"", "post-product(", "post-server", "post-patched"};
        posted = which;
        postParam = param;
        add(names[static_cast<int>(which)] + (which == RunPost::ProductError ? std::to_string(param) + ")" : ""));
    }
    void showBox(unsigned id, bool error) override { add("box" + std::to_string(id) + (error ? "" : "i")); }
    void end() override { add("end"); }

    void add(const std::string& step) { steps += (steps.empty() ? "" : " ") + step; }

    std::string steps;
    std::uint64_t now = 0;
    bool offline = false;
    bool refuseDownload = false;
    bool patchFails = false;
    bool packageSigned = true;
    std::string body; // the held download's bytes
    std::deque<int> signers;
    RunPost posted = RunPost::None;
    int postParam = 0;
};

const char kIni[] = "[RegPath]\nCount=1\nPath0=Software\\V\\P\nCheck0=Prod 1.0\n"
                    "[SRInfo]\nURL=http://h/p\nSRNo=S\nCount=3\nInfo0=Prod#A#1\nInfo1=Prod#Q#1\nInfo2=Prod#B#2\n";
// SHA-256 of "patch".
const char kPatchSha[] = "a4895eb44afc336fecbba6e520cd67e178dace0276655d102fceffa8e5f70570";

// A transfer's end as the worker reports it: "404", "503", "cut" (5 of 10
// bytes), "passed" and "announced" (stopped at the pinned size 1000),
// "unframed" (no length, no chunks), "refused" (no connection), "stopped"
// (told to stop), "200 BODY" (complete and held); then what the attempt
// learnt: "etag" (a strong validator), "held=N" (bytes in the held file),
// "new=N" (body bytes it added), "ra=SECONDS" (Retry-After), "redirect=V"
// (a RedirectVerdict refused), "final=URL".
DownloadEnd transfer(const std::string& how, FakePlatform& platform)
{
    std::istringstream words(how);
    std::string kind;
    words >> kind;
    DownloadEnd end;
    end.localPath = "C:\\r\\1.exe";
    DownloadFacts& f = end.facts;
    f.statusKnown = true;
    f.httpStatus = 200;
    f.lengthKnown = f.fileExists = true;
    if (kind == "404" || kind == "503") {
        f.httpStatus = static_cast<std::uint32_t>(std::stoul(kind));
        f.announced = f.fileSize = 9;
        end.verdict = DownloadVerdict::ServerStatus;
    } else if (kind == "passed" || kind == "announced") {
        f.announced = 9000;
        f.fileSize = 4096;
        f.aborted = true;
        f.sizePin = 1000;
        f.sizeStop = kind == "passed" ? DownloadFacts::kSizePassed : DownloadFacts::kSizeAnnounced;
        end.verdict = DownloadVerdict::SizeRefused;
    } else if (kind == "unframed") {
        f.lengthKnown = f.framed = false;
        f.fileSize = 7;
        end.verdict = DownloadVerdict::EndUnknown;
    } else if (kind == "refused") { // the name resolved, the connection was refused
        f = DownloadFacts{};
        f.hrDownload = static_cast<std::int32_t>(0x800C0008u);
        f.connecting = true;
        end.verdict = DownloadVerdict::CallFailed;
    } else if (kind == "stopped") { // told to stop while the body of 10000 bytes came
        f.hrDownload = static_cast<std::int32_t>(0x80004004u);
        f.aborted = true;
        f.announced = 10000;
        end.verdict = DownloadVerdict::CallFailed;
    } else if (kind == "cut") {
        f.announced = 10;
        f.fileSize = 5;
        end.verdict = DownloadVerdict::Incomplete;
    } else {
        platform.body = how.substr(4);
        f.announced = f.fileSize = platform.body.size();
        end.verdict = DownloadVerdict::Good;
        end.held = true;
        return end;
    }
    for (std::string w; words >> w;) {
        const std::string value = w.substr(w.find('=') + 1);
        if (w == "etag")
            f.etag = "\"v1\"";
        else if (w.rfind("held=", 0) == 0)
            f.fileSize = std::stoull(value);
        else if (w.rfind("new=", 0) == 0)
            f.bodyBytes = std::stoull(value);
        else if (w.rfind("ra=", 0) == 0)
            f.retryAfter = value;
        else if (w.rfind("redirect=", 0) == 0)
            f.redirect = std::stoi(value);
        else if (w.rfind("final=", 0) == 0)
            f.finalUrl = value;
    }
    return end;
}

// One event of a script line "name args > expected steps".
std::uint64_t lastBytes = 0;

void feed(CRunDriver& run, FakePlatform& platform, CTableRegistry& registry, const RunPlace& place,
          const std::string& event)
{
    std::istringstream in(event);
    std::string name, word;
    in >> name;
    std::uint64_t t = 0;
    if (name == "help") {
        platform.add(run.onLaunch(true, 1) ? "usage" : "-");
    } else if (name == "start") {
        run.onLaunch(false, 1);
        run.start(platform, registry, place);
    } else if (name == "unextracted") {
        run.onLaunch(false, 5);
        run.start(platform, registry, place);
    } else if (name == "connecting" && in >> t) {
        platform.now = t;
        run.onProgress(kBindStatusConnecting);
    } else if (name == "progress" && in >> t) {
        // Body bytes that grow with the time; "progress T same" repeats the
        // last count, which is no progress.
        platform.now = t;
        const bool same = (in >> word) && word == "same";
        run.onProgress(kBindStatusDownloadingData, same ? lastBytes : (lastBytes = t));
    } else if (name == "ended") {
        std::getline(in, word);
        run.onDownloadEnded(transfer(word.substr(1), platform));
    } else if (name == "tick" && in >> t) {
        platform.now = t;
        platform.offline = (in >> word) && word == "off";
        run.onTimerTick();
    } else if (name == "cancel") {
        run.onCancel();
    } else if (name == "msg") {
        run.onOutcomeMessage(platform.posted, platform.postParam);
    } else if (name == "finish") {
        run.finish();
    } else {
        ADD_FAILURE() << "bad event: " << event;
    }
}

// Installed states of the one product: its SR number ("A", "B", "S": the
// patch itself, "X": in no Info value), "1.1" (another version), "-"
// (not installed).
void install(CTableRegistry& registry, const std::string& state)
{
    if (state == "-")
        return;
    registry.setString("Software\\V\\P\\UserReg", "Prod_Name", "Prod");
    registry.setString("Software\\V\\P\\UserReg", "Prod_Ver", state == "1.1" ? "1.1" : "1.0");
    registry.setString("Software\\V\\P\\BuildInfo", "SR_No", state == "1.1" ? "A" : state);
    registry.setString("Software\\V\\P\\BuildInfo", "SR_Ver", state == "B" ? "2" : "1");
}

struct RunCase {
    const char* what;
    const char* options; // "silent", "wait", "refuse", "patchfails", "unsignedpkg", "signers=1,4"
    const char* state;
    std::string srInfo; // keys added to [SRInfo] (or a whole other file after "FILE:")
    std::string script;
    int exitStatus;
    std::string line;   // the outcome line after "[Veldrun] Outcome: "
    const char* reason; // what deployment tools read of the run (the result document, the event)
};

const std::string kA = "build keys Prod#A#1 are all in Info0";
const std::string kB = "build keys Prod#B#2 are all in Info2";
const std::string kGeneric = "build keys Prod#X#1 are in no Info value together: the generic build";
const std::string kStart = "start > status105 timer get http://h/p/0/S.exe\n";
const std::string kStartB = "start > status105 timer get http://h/p/2/S.exe\n";
const std::string kStartX = "start > status105 timer get http://h/p/max/S.exe\n";
const std::string kPin0 = std::string("SHA2560=") + kPatchSha + "\n";
const std::string kGot200 = "HTTP 200, 5 of 5 bytes";
const std::string kRefused =
    "transfer failed (0x800C0008 INET_E_DOWNLOAD_FAILURE: the download failed), 0 bytes, no answer from the server";

const RunCase kCases[] = {
    {"FolderBuildStarted", "", "A", "",
     kStart + "connecting 100 > status106\nended 200 patch > start rm-at-restart end\nfinish > -", 0,
     "patch started (exit 0): " + kA + "; http://h/p/0/S.exe: " + kGot200 + "; started \"C:\\r\\1.exe\" ",
     "patch_started"},
    {"WaitPassesTheExitCodeAndRemovesTheDownload", "silent wait", "A", "",
     kStart + "ended 200 patch > start hidden wait rm end", 3010,
     "patch finished (exit 3010): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         "; started \"C:\\r\\1.exe\" /s; the patch ended with exit code 3010: the patch finished and asks for a "
         "restart",
     "patch_ended"},
    {"ProductErrorNamesWhatIsMissing", "", "-", "", "start > status105 post-product(255)\nmsg > box102 end", 1,
     "product error (exit 1): product 0 (Software\\V\\P) not found: no key Software\\V\\P\\UserReg, no key "
     "Software\\V\\P\\BuildInfo",
     "product_missing"},
    {"ProductErrorNoProducts", "", "A", "FILE:[RegPath]\n", "start > status105 post-product(255)\nmsg > box102 end", 1,
     "product error (exit 1): [RegPath] lists no products (Count missing, 0 or not a number)", "product_missing"},
    {"PatchErrorSilentWithoutBox", "silent", "1.1", "", "start > status105 post-product(0)\nmsg > end", 2,
     "patch error (exit 2): product 0 (Software\\V\\P) is \"Prod 1.1\", Check0 expects \"Prod 1.0\"",
     "version_mismatch"},
    {"CountOutOfRange", "silent", "A", "FILE:[RegPath]\nCount=1\n[SRInfo]\nCount=5000\n",
     "start > status105 post-product(0)\nmsg > end", 2,
     "patch error (exit 2): [SRInfo] Count 5000 is outside 0 to 1000", "version_mismatch"},
    {"AlreadyApplied", "", "S", "", "start > status105 timer post-patched\nmsg > box109i end", 4,
     "already applied (exit 4): build keys Prod#S#1 all contain SRNo S", "already_applied"},
    // A 404 is not asked again; a cut is, from the start without a
    // validator, after about 2, 4 and 8 s; the fourth in a row gives up.
    {"OneFallbackThenTheServerError", "", "B", "",
     kStartB + "ended 404 > rm get http://h/p/Max/S.exe\nended cut > rm\ntick 1000 > -\ntick 3000 > get "
               "http://h/p/Max/S.exe\nended cut > rm\ntick 8000 > get http://h/p/Max/S.exe\nended cut > rm\n"
               "tick 18000 > get http://h/p/Max/S.exe\nended cut > rm post-server\nmsg > box104 end",
     3,
     "server error (exit 3): " + kB +
         "; http://h/p/2/S.exe: HTTP 404; http://h/p/Max/S.exe (4 attempts: connection lost x4): HTTP 200, 5 of 10 "
         "bytes, incomplete",
     "http_error"},
    // A cut answered with a strong validator is resumed from the bytes held.
    {"CutResumedAgainstTheFirstAnswer", "", "A", "",
     kStart + "ended cut etag new=5 > -\ntick 1000 > -\ntick 3000 > get http://h/p/0/S.exe@5\n"
              "ended 200 patch > start rm-at-restart end",
     0,
     "patch started (exit 0): " + kA + "; http://h/p/0/S.exe (2 attempts: connection lost, resumed at 5 bytes): " +
         kGot200 + "; started \"C:\\r\\1.exe\" ",
     "patch_started"},
    {"ServiceUnavailableWaitsAsAsked", "silent", "A", "",
     kStart + "ended 503 ra=7 > rm\ntick 6000 > -\ntick 8000 > get http://h/p/0/S.exe\n"
              "ended 200 patch > start hidden rm-at-restart end",
     0,
     "patch started (exit 0): " + kA + "; http://h/p/0/S.exe (2 attempts: HTTP 503): " + kGot200 +
         "; started \"C:\\r\\1.exe\" /s",
     "patch_started"},
    {"RetryAfterAnHourGivesTheUrlUp", "silent", "B", "",
     kStartB + "ended 503 ra=3600 > rm get http://h/p/Max/S.exe\nended 404 > rm post-server", 3,
     "server error (exit 3): " + kB +
         "; http://h/p/2/S.exe (1 attempt: HTTP 503 asked to wait 3600 s): HTTP 503; http://h/p/Max/S.exe: HTTP 404",
     "http_error"},
    {"RedirectToPlainHttpIsNotAskedAgain", "silent", "B", "",
     kStartB + "ended refused redirect=2 final=https://e/x > rm get http://h/p/Max/S.exe\nended 404 > rm post-server",
     3,
     "server error (exit 3): " + kB +
         "; http://h/p/2/S.exe (redirected to https://e/x): redirect from https to http refused; http://h/p/Max/S.exe: "
         "HTTP 404",
     "http_error"},
    {"SizeRefusedBothWays", "", "B", "",
     kStartB + "ended passed > rm get http://h/p/Max/S.exe\nended announced > rm post-server", 3,
     "server error (exit 3): " + kB +
         "; http://h/p/2/S.exe: HTTP 200, stopped after 4096 bytes: more than the pinned 1000; http://h/p/Max/S.exe: "
         "HTTP 200, 9000 bytes announced, pinned 1000 (stopped)",
     "size_refused"},
    {"EndUnknownAndControlCharactersInTheLine", "", "X", "URL=http://h/%s\x1b%n\n",
     "start > status105 timer get http://h/%s\x1b%n/max/S.exe\nended unframed > rm post-server", 3,
     "server error (exit 3): " + kGeneric +
         "; http://h/%s?%n/max/S.exe: HTTP 200, 7 bytes, no length and no chunked framing: end unknown",
     "end_unknown"},
    // No wait passes the download's deadline.
    {"NoConnectionUntilTheDeadline", "silent", "B", "DownloadSeconds=10\n",
     kStartB + "ended 404 > rm get http://h/p/Max/S.exe\nended refused > rm\ntick 3000 > get http://h/p/Max/S.exe\n"
               "ended refused > rm\ntick 8000 > get http://h/p/Max/S.exe\nended refused > rm post-server",
     3,
     "server error (exit 3): " + kB +
         "; http://h/p/2/S.exe: HTTP 404; http://h/p/Max/S.exe (3 attempts: connection "
         "lost x3, no time left to wait 9 s): " +
         kRefused,
     "server_unreachable"},
    {"GenericBuildWithoutFallback", "", "X", "", kStartX + "ended 404 > rm post-server", 3,
     "server error (exit 3): " + kGeneric + "; http://h/p/max/S.exe: HTTP 404", "http_error"},
    // Decided once: after the connection was lost, a download that ends
    // while the box is up starts nothing, neither the patch nor a fallback.
    {"ConnectionLostThenAGoodDownload", "", "A", "",
     kStart + "tick 2000 > -\ntick 4000 off > timer-off post-server\nended 200 patch > rm\nmsg > box104 end\n"
              "cancel > end",
     3, "server error (exit 3): " + kA + "; the internet connection was lost during the download of http://h/p/0/S.exe",
     "server_unreachable"},
    // A stalled transfer is told to stop; what it held is resumed. Only body
    // bytes are progress. A worker that does not stop is ended and the
    // fallback starts.
    {"StallFallbackStallAgain", "silent", "A", "StallSeconds=5\n",
     kStart + "tick 2000 > -\nprogress 3000 > -\nconnecting 7000 > status106\nprogress 7500 same > -\n"
              "tick 8000 > cancel\nended stopped etag held=3000 new=3000 > -\ntick 10000 > get "
              "http://h/p/0/S.exe@3000\ntick 16000 > cancel\ntick 36000 > end-worker rm get http://h/p/Max/S.exe\n"
              "tick 40000 > -\ntick 42000 > cancel\ntick 62000 > end-worker rm post-server\nmsg > end",
     3,
     "server error (exit 3): " + kA +
         "; http://h/p/0/S.exe (2 attempts: stalled, resumed at 2.9 KiB): no progress for 5 s; http://h/p/Max/S.exe: "
         "no progress for 5 s",
     "stalled"},
    // The seconds keys' values and bounds run through the driver in
    // vdrpack check's table (CheckCommand.LintAndTheRunReadTheSecondsKeysAlike).
    // A worker told to stop for a stall that never says it did is ended.
    {"StallDefaultSixty", "silent", "X", "",
     kStartX + "tick 59998 > -\ntick 60000 > cancel\ntick 80000 > end-worker rm post-server", 3,
     "server error (exit 3): " + kGeneric + "; http://h/p/max/S.exe: no progress for 60 s", "stalled"},
    // A trickle keeps the stall watch quiet; the whole download's deadline ends it.
    {"DownloadDeadlineEndsATrickle", "silent", "A", "DownloadSeconds=10\n",
     kStart + "progress 3000 > -\ntick 4000 > -\nprogress 7000 > -\ntick 8000 > -\n"
              "tick 10000 > end-worker rm get http://h/p/Max/S.exe\nprogress 19000 > -\n"
              "tick 20000 > end-worker rm post-server",
     3,
     "server error (exit 3): " + kA +
         "; http://h/p/0/S.exe: not done after 10 s; http://h/p/Max/S.exe: not done "
         "after 10 s",
     "overdue"},
    {"DownloadSecondsAtItsMaximum", "silent", "X", "DownloadSeconds=86400\n",
     kStartX + "progress 86399000 > -\ntick 86399999 > -\ntick 86400000 > end-worker rm post-server", 3,
     "server error (exit 3): " + kGeneric + "; http://h/p/max/S.exe: not done after 86400 s", "overdue"},
    // Once [SRInfo] carries a pin, an unpinned download is never started.
    {"PinnedBuildTamperedUnpinnedFallbackRefused", "silent", "A", kPin0,
     kStart + "ended 200 other > rm get http://h/p/Max/S.exe\nended 200 patch > rm post-server", 3,
     "server error (exit 3): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         ", pin SHA2560 did not match (file removed); http://h/p/Max/S.exe: " + kGot200 +
         ", no pin SHA256Max (file removed)",
     "pin_mismatch"},
    {"PinnedBuildMatches", "silent", "A", kPin0, kStart + "ended 200 patch > start hidden rm-at-restart end", 0,
     "patch started (exit 0): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         ", pin SHA2560 matched; started \"C:\\r\\1.exe\" /s",
     "patch_started"},
    // With a Signer, only a patch signed by it is started; any other is a
    // failed transfer (fallback, then the server error).
    {"SignedByTheSignerStarted", "silent signers=1", "A", "Signer=package\n",
     kStart + "ended 200 patch > signer start hidden rm-at-restart end", 0,
     "patch started (exit 0): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         ", signer matched; started \"C:\\r\\1.exe\" /s",
     "patch_started"},
    {"OtherPublisherThenUnsignedFallback", "silent signers=4,2", "A", "Signer=package\n",
     kStart + "ended 200 patch > signer rm get http://h/p/Max/S.exe\nended 200 patch > signer rm post-server", 3,
     "server error (exit 3): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         ", signed by another publisher: CN=Other (file removed); http://h/p/Max/S.exe: " + kGot200 +
         ", unsigned (file removed)",
     "publisher_refused"},
    {"PinMismatchBeforeTheSigner", "silent signers=1", "X",
     std::string("SHA256Max=") + kPatchSha + "\nSigner=package\n", kStartX + "ended 200 other > rm post-server", 3,
     "server error (exit 3): " + kGeneric + "; http://h/p/max/S.exe: " + kGot200 +
         ", pin SHA256Max did not match (file removed)",
     "pin_mismatch"},
    {"MalformedSignerIsThePatchErrorBeforeAnyDownload", "", "A", "Signer=someone\n",
     "start > status105 timer post-product(0)\nmsg > box103 end", 2,
     "patch error (exit 2): " + kA + "; the Signer key is neither \"package\" nor 64 hex digits", "publisher_refused"},
    {"UnsignedPackageIsThePatchErrorBeforeAnyDownload", "silent unsignedpkg", "A", "Signer=package\n",
     "start > status105 timer post-product(0)\nmsg > end", 2,
     "patch error (exit 2): " + kA + "; Signer=package, but the package carries no valid signature",
     "publisher_refused"},
    {"NotExtractedNothingRead", "", "A", "", "unextracted > post-product(0)\nmsg > box103 end", 8,
     "patch information file not extracted (exit 8): detachFile result 5", "package_unreadable"},
    {"CancelWhileDownloading", "", "A", "", kStart + "cancel > cancel end\nfinish > end-worker rm", 5,
     "cancelled (exit 5): " + kA + "; cancelled by the user during the download of http://h/p/0/S.exe", "cancelled"},
    {"Help", "", "A", "", "help > usage", 9, "usage shown (exit 9)", "usage_shown"},
    // A visible run that cannot start its download or its patch says so.
    {"DownloadRefusedVisibleShowsThePatchError", "refuse", "A", "",
     "start > status105 timer get http://h/p/0/S.exe post-product(0)\nmsg > box103 end\ncancel > end", 6,
     "not started (exit 6): " + kA + "; http://h/p/0/S.exe: not started; the download could not be started",
     "patch_not_started"},
    {"DownloadRefusedSilentEnds", "silent refuse", "A", "", "start > status105 timer get http://h/p/0/S.exe end", 6,
     "not started (exit 6): " + kA + "; http://h/p/0/S.exe: not started; the download could not be started",
     "patch_not_started"},
    {"URLTooLong", "", "A", "URL=http://h/" + std::string(250, 'a') + "\n",
     "start > status105 timer post-product(0)\nmsg > box103 end", 6,
     "not started (exit 6): " + kA + "; the download URL is too long", "patch_not_started"},
    {"PatchNotStartableVisible", "patchfails", "A", "",
     kStart + "ended 200 patch > start rm post-product(0)\nmsg > box103 end", 6,
     "not started (exit 6): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         "; could not start \"C:\\r\\1.exe\"  (error 193 ERROR_BAD_EXE_FORMAT: not a valid Windows program)",
     "patch_not_started"},
    {"PatchNotStartableSilent", "silent patchfails", "A", "SilentArgs=/q %s\n",
     kStart + "ended 200 patch > start hidden rm end", 6,
     "not started (exit 6): " + kA + "; http://h/p/0/S.exe: " + kGot200 +
         "; could not start \"C:\\r\\1.exe\" /q %s (error 193 ERROR_BAD_EXE_FORMAT: not a valid Windows program)",
     "patch_not_started"},
};

std::string asIs(const char* text)
{
    return text;
}

void PrintTo(const RunCase& c, std::ostream* os)
{
    *os << c.what;
}

class RunTable : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTable, StepsExitStatusAndOutcomeLine)
{
    const RunCase& c = GetParam();
    const std::string options = std::string(" ") + c.options + " ";
    auto has = [&options](const char* o) { return options.find(std::string(" ") + o + " ") != std::string::npos; };
    TempDir dir;
    std::string ini = c.srInfo.rfind("FILE:", 0) == 0 ? c.srInfo.substr(5) : kIni + c.srInfo;
    if (c.srInfo.rfind("URL=", 0) == 0) // another server instead
        ini = std::string(kIni).replace(std::string(kIni).find("URL="), 15, c.srInfo);
    const std::string iniPath = dir.write("patch.ini", ini);
    CTableRegistry registry;
    install(registry, c.state);
    CIniFileReader profile;
    RunPlace place;
    place.profile = &profile;
    place.iniPath = iniPath.c_str();
    place.runDir = "C:\\r\\";
    place.wait = has("wait");
    FakePlatform platform;
    platform.refuseDownload = has("refuse");
    platform.patchFails = has("patchfails");
    platform.packageSigned = !has("unsignedpkg");
    // "signers=4,2": the held downloads' signer verdicts, in turn.
    for (std::size_t at = options.find("signers="); at != std::string::npos; at = options.find(',', at + 1))
        platform.signers.push_back(options[options.find_first_of("0123456789", at)] - '0');

    CRunDriver run(has("silent"));
    lastBytes = 0;
    std::istringstream lines(c.script);
    std::string line;
    while (std::getline(lines, line)) {
        const std::size_t gt = line.find(" > ");
        platform.steps.clear();
        feed(run, platform, registry, place, line.substr(0, gt));
        EXPECT_EQ(line.substr(gt + 3), platform.steps.empty() ? "-" : platform.steps) << line;
    }
    EXPECT_EQ(c.exitStatus, run.exitStatus());
    EXPECT_EQ("[Veldrun] Outcome: " + c.line + "\n", run.outcomeLine());

    // Deployment tools read the same run: one reason, and a document that
    // says what the line says, each download not started with its own reason.
    const RunReason reason = runReason(run);
    EXPECT_EQ(std::string(c.reason), reasonId(reason));
    const auto doc = nlohmann::json::parse(resultDocument(resultOf(run), asIs));
    EXPECT_EQ(std::string(c.reason), doc["reason"]);
    EXPECT_EQ(c.exitStatus, doc["exit_status"]);
    EXPECT_EQ(run.outcomeLine(), doc["outcome_line"].get<std::string>() + "\n");
    ASSERT_EQ(run.facts().fetches.size(), doc["fetches"].size());
    const bool started = reason == RunReason::PatchStarted || reason == RunReason::PatchEnded;
    for (std::size_t i = 0; i < doc["fetches"].size(); ++i)
        EXPECT_EQ(started, doc["fetches"][i]["reason"].is_null()) << "fetch " << i;
    EXPECT_EQ(c.exitStatus == 3010, doc["patch"].is_object() && doc["patch"]["exit_code"] == 3010);
}

INSTANTIATE_TEST_SUITE_P(Runs, RunTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RunCase>& tpi) { return std::string(tpi.param.what); });

} // namespace
