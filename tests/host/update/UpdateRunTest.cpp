// The run's controller: sequences of events and what the window is told to
// do at each, with the exit status the run ends with.
#include "common/Trace.h"
#include "update/PatchPin.h"
#include "update/UpdateRun.h"

#include <gtest/gtest.h>

#include <cctype>

#include <string>
#include <vector>

namespace {

const std::string kServer = "http://h/p";

struct Ev {
    enum Kind { Launch, Init, Checked, Chosen, Refused, Progress, Ended, Started, StartFailed, Tick, Cancel, Msg };
    Kind kind;
    int a = 0, b = 0;
    std::uint64_t t = 0;
    std::string text;
    std::string expect; // the step rendered; "-" for nothing
};

Ev launch(bool help, int extract, const char* expect)
{
    return {Ev::Launch, help, extract, 0, "", expect};
}
Ev init(const char* expect)
{
    return {Ev::Init, 0, 0, 0, "", expect};
}
Ev checked(int r, const char* expect)
{
    return {Ev::Checked, r, 0, 0, "", expect};
}
// a: build id, b: StallSeconds; text "pin" when [SRInfo] carries a pin, or a server value.
Ev chosen(int id, const char* expect, int stall = 0, std::string server = kServer, bool pin = false)
{
    return {Ev::Chosen, id, stall, 0, server + (pin ? "|pin" : ""), expect};
}
Ev refused(const char* expect)
{
    return {Ev::Refused, 0, 0, 0, "", expect};
}
Ev progress(unsigned code, std::uint64_t t, const char* expect)
{
    return {Ev::Progress, int(code), 0, t, "", expect};
}
Ev ended(bool good, int pin, std::uint64_t t, const char* expect)
{
    return {Ev::Ended, good, pin, t, "", expect};
}
Ev started(bool waited, int code, const char* expect)
{
    return {Ev::Started, waited, code, 0, "", expect};
}
Ev startFailed(const char* expect)
{
    return {Ev::StartFailed, 0, 0, 0, "", expect};
}
Ev tick(bool connected, std::uint64_t t, const char* expect)
{
    return {Ev::Tick, connected, 0, t, "", expect};
}
Ev cancel(const char* expect)
{
    return {Ev::Cancel, 0, 0, 0, "", expect};
}
Ev msg(RunPost which, int param, const char* expect)
{
    return {Ev::Msg, int(which), param, 0, "", expect};
}

std::string render(const RunStep& s)
{
    std::string out;
    auto add = [&out](const std::string& t) { out += (out.empty() ? "" : " ") + t; };
    if (s.showUsage)
        add("usage");
    if (s.checkProducts)
        add("check");
    if (s.chooseBuild)
        add("choose");
    if (s.startTimer)
        add("timer");
    if (s.stopTimer)
        add("timer-off");
    if (s.cancelWorker)
        add("cancel");
    if (s.endWorker)
        add("end-worker");
    if (s.removeDownload)
        add("rm");
    if (s.removeAtRestart)
        add("rm-at-restart");
    if (s.status)
        add("status" + std::to_string(s.status));
    if (s.post == RunPost::ProductError)
        add("post-product(" + std::to_string(s.postParam) + ")");
    if (s.post == RunPost::ServerError)
        add("post-server");
    if (s.post == RunPost::Patched)
        add("post-patched");
    if (!s.download.empty())
        add("get " + s.download);
    if (s.startPatch)
        add("start");
    if (s.box)
        add(std::string("box") + std::to_string(s.box) + (s.boxIsError ? "" : "i"));
    if (s.quit)
        add("quit");
    return out.empty() ? "-" : out;
}

RunStep feed(CUpdateRun& run, const Ev& e)
{
    switch (e.kind) {
    case Ev::Launch:
        return run.onLaunch(e.a != 0, e.b);
    case Ev::Init:
        return run.onInitDialog();
    case Ev::Checked:
        return run.onProductsChecked(e.a);
    case Ev::Chosen: {
        std::string server = e.text.substr(0, e.text.find('|'));
        RunSource source;
        source.server = server.c_str();
        source.srNo = "S";
        source.anyPin = e.text.find("|pin") != std::string::npos;
        source.stallSeconds = e.b;
        return run.onBuildChosen(e.a, source, 0);
    }
    case Ev::Refused:
        return run.onDownloadRefused();
    case Ev::Progress:
        return run.onProgress(static_cast<unsigned>(e.a), e.t);
    case Ev::Ended:
        return run.onDownloadEnded(e.a != 0, e.b, e.a ? "good" : "no file", "C:\\t\\A1.exe", e.t);
    case Ev::Started:
        return run.onPatchStarted(e.a != 0, static_cast<unsigned long>(e.b));
    case Ev::StartFailed:
        return run.onPatchStartFailed();
    case Ev::Tick:
        return run.onTimerTick(e.a != 0, e.t);
    case Ev::Cancel:
        return run.onCancel();
    case Ev::Msg:
        return run.onOutcomeMessage(static_cast<RunPost>(e.a), e.b);
    }
    return RunStep();
}

struct RunCase {
    const char* what;
    bool silent;
    std::vector<Ev> events;
    int exitStatus;
};

// The usual start: extracted, initialised, products applicable.
std::vector<Ev> begin(std::vector<Ev> rest)
{
    std::vector<Ev> all = {launch(false, 1, "-"), init("check status105"), checked(1, "choose")};
    all.insert(all.end(), rest.begin(), rest.end());
    return all;
}

const int kNone = kPinNone, kMatch = kPinMatch, kMismatch = kPinMismatch;

std::vector<RunCase> runCases()
{
    const std::string longServer = "http://h/" + std::string(250, 'a');
    return {
        {"folder build started", false,
         begin({chosen(2, "timer get http://h/p/2/S.exe"), progress(2, 100, "status106"), progress(4, 200, "status107"),
                progress(5, 300, "-"), ended(true, kNone, 400, "start"), started(false, 0, "rm-at-restart quit")}),
         0},
        {"wait passes the patch's exit code and removes the download", true,
         begin(
             {chosen(0, "timer get http://h/p/0/S.exe"), ended(true, kNone, 1, "start"), started(true, 42, "rm quit")}),
         42},
        {"product error",
         false,
         {launch(false, 1, "-"), init("check status105"), checked(255, "post-product(255)"),
          msg(RunPost::ProductError, 255, "box102 quit")},
         1},
        {"patch error, silent: no box",
         true,
         {launch(false, 1, "-"), init("check status105"), checked(0, "post-product(0)"),
          msg(RunPost::ProductError, 0, "quit")},
         2},
        {"already applied", false, begin({chosen(999, "timer post-patched"), msg(RunPost::Patched, 0, "box109i quit")}),
         4},
        {"one fallback, then the server error", false,
         begin({chosen(3, "timer get http://h/p/3/S.exe"), ended(false, kNone, 1, "rm get http://h/p/Max/S.exe"),
                ended(false, kNone, 2, "rm post-server"), msg(RunPost::ServerError, 0, "box104 quit")}),
         3},
        {"the generic build has no fallback", false,
         begin({chosen(-1, "timer get http://h/p/max/S.exe"), ended(false, kNone, 1, "rm post-server")}), 3},
        // Item: an outcome decided once. The connection is lost; a download
        // that completes while the box is up starts nothing.
        {"connection lost, then a good download", false,
         begin({chosen(2, "timer get http://h/p/2/S.exe"), tick(true, 2000, "-"),
                tick(false, 4000, "timer-off post-server"), ended(true, kNone, 4500, "rm"),
                msg(RunPost::ServerError, 0, "box104 quit"), cancel("-")}),
         3},
        {"connection lost, then a failed download: no fallback", false,
         begin({chosen(2, "timer get http://h/p/2/S.exe"), tick(false, 2000, "timer-off post-server"),
                ended(false, kNone, 2500, "rm"), tick(false, 4000, "-")}),
         3},
        // A stalled transfer counts as a failed one; the stuck worker goes
        // before the fallback starts.
        {"stall, fallback, stall again", true,
         begin({chosen(2, "timer get http://h/p/2/S.exe", 5), tick(true, 2000, "-"), progress(2, 3000, "status106"),
                tick(true, 6000, "-"), tick(true, 8000, "end-worker rm get http://h/p/Max/S.exe"),
                tick(true, 12000, "-"), tick(true, 14000, "end-worker rm post-server"),
                msg(RunPost::ServerError, 0, "quit")}),
         3},
        {"no StallSeconds: 60", true,
         begin({chosen(-1, "timer get http://h/p/max/S.exe"), tick(true, 59998, "-"),
                tick(true, 60000, "end-worker rm post-server")}),
         3},
        {"StallSeconds below 5: 60", true,
         begin({chosen(-1, "timer get http://h/p/max/S.exe", 4), tick(true, 58000, "-"),
                tick(true, 60000, "end-worker rm post-server")}),
         3},
        // Once [SRInfo] carries a pin, an unpinned download is never started.
        {"pinned build tampered, unpinned fallback refused", true,
         begin({chosen(2, "timer get http://h/p/2/S.exe", 0, kServer, true),
                ended(true, kMismatch, 1, "rm get http://h/p/Max/S.exe"), ended(true, kNone, 2, "rm post-server")}),
         3},
        {"pinned build matches", true,
         begin({chosen(2, "timer get http://h/p/2/S.exe", 0, kServer, true), ended(true, kMatch, 1, "start"),
                started(false, 0, "rm-at-restart quit")}),
         0},
        {"help", false, {launch(true, 1, "usage quit")}, 9},
        {"not extracted: nothing read, string 103",
         false,
         {launch(false, 5, "-"), init("post-product(0)"), msg(RunPost::ProductError, 0, "box103 quit")},
         8},
        {"cancel while downloading", false, begin({chosen(2, "timer get http://h/p/2/S.exe"), cancel("cancel")}), 5},
        {"download refused, visible: waits for Cancel", false,
         begin({chosen(2, "timer get http://h/p/2/S.exe"), refused("-"), tick(false, 4000, "-"), cancel("-")}), 6},
        {"download refused, silent: ends", true, begin({chosen(2, "timer get http://h/p/2/S.exe"), refused("quit")}),
         6},
        {"URL too long", true, begin({chosen(2, "timer quit", 0, longServer)}), 6},
        {"patch not startable", true,
         begin({chosen(2, "timer get http://h/p/2/S.exe"), ended(true, kNone, 1, "start"), startFailed("rm quit")}), 6},
    };
}

class RunTable : public ::testing::TestWithParam<RunCase> {};

TEST_P(RunTable, StepsAndExitStatus)
{
    const RunCase& c = GetParam();
    CUpdateRun run(c.silent);
    for (std::size_t i = 0; i < c.events.size(); ++i)
        EXPECT_EQ(c.events[i].expect, render(feed(run, c.events[i]))) << "event " << i;
    EXPECT_EQ(c.exitStatus, run.exitStatus());
}

INSTANTIATE_TEST_SUITE_P(Runs, RunTable, ::testing::ValuesIn(runCases()),
                         [](const ::testing::TestParamInfo<RunCase>& info) {
                             std::string name;
                             for (const char* p = info.param.what; *p; ++p)
                                 name += std::isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return name;
                         });

// What the outcome rests on, for whoever reports it.
TEST(UpdateRun, FactsNameEachFetchWithItsVerdict)
{
    CUpdateRun run(true);
    for (const Ev& e :
         begin({chosen(2, ""), tick(true, 61000, ""), ended(true, kNone, 61500, ""), started(true, 7, "")}))
        feed(run, e);
    const RunFacts& f = run.facts();
    ASSERT_EQ(2u, f.fetches.size());
    EXPECT_EQ("http://h/p/2/S.exe", f.fetches[0].url);
    EXPECT_EQ("stalled", f.fetches[0].verdict);
    EXPECT_EQ("good", f.fetches[1].verdict);
    EXPECT_EQ("\"C:\\t\\A1.exe\" /s", f.commandLine);
    EXPECT_TRUE(f.patchWaited);
    EXPECT_EQ(7u, f.patchExitCode);
    EXPECT_EQ(RunOutcome::PatchStarted, run.outcome());
    EXPECT_EQ(7, run.exitStatus());
}

TEST(UpdateRun, StallSecondsOutsideTheRangeMeanSixty)
{
    const int raw[] = {0, 4, 5, 3600, 3601, -5};
    const unsigned used[] = {60, 60, 5, 3600, 60, 60};
    for (std::size_t i = 0; i < sizeof raw / sizeof raw[0]; ++i) {
        CUpdateRun run(true);
        for (const Ev& e : begin({chosen(2, "", raw[i])}))
            feed(run, e);
        EXPECT_EQ(used[i], run.stallSeconds()) << raw[i];
    }
}

} // namespace
