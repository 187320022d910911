// The run's controller: scripts of events, each with what the window is
// told to do ("-" for nothing), and the exit status the run ends with.
#include "update/PatchPin.h"
#include "update/UpdateRun.h"

#include <gtest/gtest.h>

#include <cctype>
#include <sstream>
#include <string>

namespace {

std::string render(const RunStep& s)
{
    std::string out;
    auto add = [&out](bool on, const std::string& t) {
        if (on)
            out += (out.empty() ? "" : " ") + t;
    };
    const char* posts[] = {"", "post-product(", "post-server", "post-patched"};
    add(s.showUsage, "usage");
    add(s.checkProducts, "check");
    add(s.chooseBuild, "choose");
    add(s.startTimer, "timer");
    add(s.stopTimer, "timer-off");
    add(s.cancelWorker, "cancel");
    add(s.endWorker, "end-worker");
    add(s.removeDownload, "rm");
    add(s.removeAtRestart, "rm-at-restart");
    add(s.status != 0, "status" + std::to_string(s.status));
    add(s.post != RunPost::None,
        posts[static_cast<int>(s.post)] + (s.post == RunPost::ProductError ? std::to_string(s.postParam) + ")" : ""));
    add(!s.download.empty(), "get " + s.download);
    add(s.startPatch, "start");
    add(s.box != 0, "box" + std::to_string(s.box) + (s.boxIsError ? "" : "i"));
    add(s.quit, "quit");
    return out.empty() ? "-" : out;
}

// One event of a script line "name args > expected step".
RunStep feed(CUpdateRun& run, const std::string& event)
{
    std::istringstream in(event);
    std::string name, word;
    in >> name;
    long long a = 0, b = 0, t = 0;
    if (name == "launch" && in >> a >> b)
        return run.onLaunch(a != 0, static_cast<int>(b));
    if (name == "init")
        return run.onInitDialog();
    if (name == "checked" && in >> a)
        return run.onProductsChecked(static_cast<int>(a));
    if (name == "chosen" && in >> a) { // id [stall] [pin] [long] [dl=DownloadSeconds] [signer] [nosigner]
        RunSource source;
        std::string server = "http://h/p";
        source.srNo = "S";
        while (in >> word) {
            if (word == "pin")
                source.anyPin = true;
            else if (word.rfind("dl=", 0) == 0)
                source.downloadSeconds = std::stoi(word.substr(3));
            else if (word == "long")
                server = "http://h/" + std::string(250, 'a');
            else if (word == "signer")
                source.signerRequired = true;
            else if (word == "nosigner") // required, but nothing to compare with
                source.signerRequired = true, source.signerProblem = "the package is not signed";
            else
                source.stallSeconds = std::stoi(word);
        }
        source.server = server.c_str();
        return run.onBuildChosen(static_cast<int>(a), source, 0);
    }
    if (name == "refused")
        return run.onDownloadRefused();
    if (name == "progress" && in >> a >> t)
        return run.onProgress(static_cast<unsigned>(a), static_cast<std::uint64_t>(t));
    if (name == "ended" && in >> a >> b >> t) { // good pin(0 none, 1 match, 2 mismatch) time [SignerVerdict]
        long long signer = 0;
        in >> signer;
        return run.onDownloadEnded(a != 0, static_cast<int>(b), a ? "good" : "no file", "C:\\t\\A1.exe",
                                   static_cast<std::uint64_t>(t), static_cast<int>(signer));
    }
    if (name == "started" && in >> a >> b)
        return run.onPatchStarted(a != 0, static_cast<unsigned long>(b));
    if (name == "startfailed")
        return run.onPatchStartFailed(193);
    if (name == "tick" && in >> a >> t)
        return run.onTimerTick(a != 0, static_cast<std::uint64_t>(t));
    if (name == "cancel")
        return run.onCancel();
    if (name == "msg" && in >> word >> a)
        return run.onOutcomeMessage(word == "product"  ? RunPost::ProductError
                                    : word == "server" ? RunPost::ServerError
                                                       : RunPost::Patched,
                                    static_cast<int>(a));
    ADD_FAILURE() << "bad event: " << event;
    return RunStep();
}

// Feeds a script; returns the run for its outcome and facts.
void play(CUpdateRun& run, const std::string& script)
{
    std::istringstream lines(script);
    std::string line;
    while (std::getline(lines, line)) {
        std::size_t gt = line.find('>');
        std::string expect = line.substr(gt + 2);
        expect.erase(expect.find_last_not_of(' ') + 1);
        EXPECT_EQ(expect, render(feed(run, line.substr(0, gt)))) << line;
    }
}

// Extracted, initialised, products applicable.
const std::string kBegin = "launch 0 1 > -\ninit > check status105\nchecked 1 > choose\n";

struct RunCase {
    const char* what;
    bool silent;
    std::string script;
    int exitStatus;
};

const RunCase kCases[] = {
    {"FolderBuildStarted", false,
     kBegin + "chosen 2 > timer get http://h/p/2/S.exe\nprogress 2 100 > status106\nprogress 4 200 > status107\n"
              "progress 5 300 > -\nended 1 0 400 > start\nstarted 0 0 > rm-at-restart quit",
     0},
    {"WaitPassesTheExitCodeAndRemovesTheDownload", true,
     kBegin + "chosen 0 > timer get http://h/p/0/S.exe\nended 1 0 1 > start\nstarted 1 42 > rm quit", 42},
    {"ProductError", false,
     "launch 0 1 > -\ninit > check status105\nchecked 255 > post-product(255)\n"
     "msg product 255 > box102 quit",
     1},
    {"PatchErrorSilentWithoutBox", true,
     "launch 0 1 > -\ninit > check status105\nchecked 0 > post-product(0)\n"
     "msg product 0 > quit",
     2},
    {"AlreadyApplied", false, kBegin + "chosen 999 > timer post-patched\nmsg patched 0 > box109i quit", 4},
    {"OneFallbackThenTheServerError", false,
     kBegin + "chosen 3 > timer get http://h/p/3/S.exe\nended 0 0 1 > rm get http://h/p/Max/S.exe\n"
              "ended 0 0 2 > rm post-server\nmsg server 0 > box104 quit",
     3},
    {"GenericBuildWithoutFallback", false,
     kBegin + "chosen -1 > timer get http://h/p/max/S.exe\nended 0 0 1 > rm post-server", 3},
    // Decided once: after the connection was lost, a download that ends
    // while the box is up starts nothing, neither the patch nor a fallback.
    {"ConnectionLostThenAGoodDownload", false,
     kBegin + "chosen 2 > timer get http://h/p/2/S.exe\ntick 1 2000 > -\ntick 0 4000 > timer-off post-server\n"
              "ended 1 0 4500 > rm\nmsg server 0 > box104 quit\ncancel > -",
     3},
    {"ConnectionLostThenAFailedDownload", false,
     kBegin + "chosen 2 > timer get http://h/p/2/S.exe\ntick 0 2000 > timer-off post-server\nended 0 0 2500 > rm\n"
              "tick 0 4000 > -",
     3},
    // A stalled transfer fails: its worker goes before the fallback starts.
    {"StallFallbackStallAgain", true,
     kBegin + "chosen 2 5 > timer get http://h/p/2/S.exe\ntick 1 2000 > -\nprogress 2 3000 > status106\n"
              "tick 1 6000 > -\ntick 1 8000 > end-worker rm get http://h/p/Max/S.exe\ntick 1 12000 > -\n"
              "tick 1 14000 > end-worker rm post-server\nmsg server 0 > quit",
     3},
    {"StallDefaultSixty", true,
     kBegin + "chosen -1 > timer get http://h/p/max/S.exe\ntick 1 59998 > -\ntick 1 60000 > end-worker rm post-server",
     3},
    {"StallBelowFiveMeansSixty", true,
     kBegin +
         "chosen -1 4 > timer get http://h/p/max/S.exe\ntick 1 58000 > -\ntick 1 60000 > end-worker rm post-server",
     3},
    {"StallAboveTheRangeMeansSixty", true,
     kBegin + "chosen -1 3601 > timer get http://h/p/max/S.exe\ntick 1 60000 > end-worker rm post-server", 3},
    // A trickle keeps the stall watch quiet; the whole download's deadline ends it.
    {"DownloadDeadlineEndsATrickle", true,
     kBegin + "chosen 2 dl=10 > timer get http://h/p/2/S.exe\nprogress 5 3000 > -\ntick 1 4000 > -\n"
              "progress 5 7000 > -\ntick 1 8000 > -\nprogress 5 9500 > -\n"
              "tick 1 10000 > end-worker rm get http://h/p/Max/S.exe\nprogress 5 14000 > -\ntick 1 18000 > -\n"
              "progress 5 19000 > -\ntick 1 20000 > end-worker rm post-server\nmsg server 0 > quit",
     3},
    {"DownloadSecondsOutOfRangeMeans14400", true,
     kBegin + "chosen -1 dl=9 > timer get http://h/p/max/S.exe\nprogress 5 14398000 > -\ntick 1 14399998 > -\n"
              "tick 1 14400000 > end-worker rm post-server",
     3},
    // Once [SRInfo] carries a pin, an unpinned download is never started.
    {"PinnedBuildTamperedUnpinnedFallbackRefused", true,
     kBegin + "chosen 2 pin > timer get http://h/p/2/S.exe\nended 1 2 1 > rm get http://h/p/Max/S.exe\n"
              "ended 1 0 2 > rm post-server",
     3},
    {"PinnedBuildMatches", true,
     kBegin + "chosen 2 pin > timer get http://h/p/2/S.exe\nended 1 1 1 > start\nstarted 0 0 > rm-at-restart quit", 0},
    // With a Signer, only a patch signed by it is started; any other is a
    // failed transfer (fallback, then the server error).
    {"SignedByTheSignerStarted", true,
     kBegin + "chosen 2 signer > timer get http://h/p/2/S.exe\nended 1 0 1 1 > start\nstarted 0 0 > rm-at-restart quit",
     0},
    {"OtherPublisherThenUnsignedFallback", true,
     kBegin + "chosen 2 signer > timer get http://h/p/2/S.exe\nended 1 0 1 4 > rm get http://h/p/Max/S.exe\n"
              "ended 1 0 2 2 > rm post-server",
     3},
    {"SignerNotCheckedIsRefused", true,
     kBegin + "chosen -1 signer > timer get http://h/p/max/S.exe\nended 1 0 1 0 > rm post-server", 3},
    {"PinMismatchBeforeTheSigner", true,
     kBegin + "chosen -1 pin signer > timer get http://h/p/max/S.exe\nended 1 2 1 1 > rm post-server", 3},
    {"SignerThatCannotBeMetIsThePatchErrorBeforeAnyDownload", true,
     kBegin + "chosen 2 nosigner > timer post-product(0)\nmsg product 0 > quit", 2},
    {"Help", false, "launch 1 1 > usage quit", 9},
    {"NotExtractedNothingRead", false, "launch 0 5 > -\ninit > post-product(0)\nmsg product 0 > box103 quit", 8},
    {"CancelWhileDownloading", false, kBegin + "chosen 2 > timer get http://h/p/2/S.exe\ncancel > cancel", 5},
    {"DownloadRefusedVisibleWaitsForCancel", false,
     kBegin + "chosen 2 > timer get http://h/p/2/S.exe\nrefused > -\ntick 0 4000 > -\ncancel > -", 6},
    {"DownloadRefusedSilentEnds", true, kBegin + "chosen 2 > timer get http://h/p/2/S.exe\nrefused > quit", 6},
    {"URLTooLong", true, kBegin + "chosen 2 long > timer quit", 6},
    {"PatchNotStartable", true,
     kBegin + "chosen 2 > timer get http://h/p/2/S.exe\nended 1 0 1 > start\nstartfailed > rm quit", 6},
};

class RunTable : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTable, StepsAndExitStatus)
{
    CUpdateRun run(GetParam().silent);
    play(run, GetParam().script);
    EXPECT_EQ(GetParam().exitStatus, run.exitStatus());
}

INSTANTIATE_TEST_SUITE_P(Runs, RunTable, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<RunCase>& tpi) { return std::string(tpi.param.what); });

// What the outcome rests on, for whoever reports it.
TEST(UpdateRun, FactsNameEachFetchWithItsVerdict)
{
    CUpdateRun run(true);
    play(run, kBegin + "chosen 2 > timer get http://h/p/2/S.exe\n"
                       "tick 1 61000 > end-worker rm get http://h/p/Max/S.exe\nended 1 0 61500 > start\n"
                       "started 1 7 > rm quit");
    const RunFacts& f = run.facts();
    ASSERT_EQ(2u, f.fetches.size());
    EXPECT_EQ("http://h/p/2/S.exe", f.fetches[0].url);
    EXPECT_EQ("no progress for 60 s", f.fetches[0].verdict());
    EXPECT_EQ("good", f.fetches[1].verdict());
    EXPECT_EQ("\"C:\\t\\A1.exe\" /s", f.commandLine);
    EXPECT_EQ(7u, f.patchExitCode);
    EXPECT_EQ(RunOutcome::PatchStarted, run.outcome());
}

} // namespace
