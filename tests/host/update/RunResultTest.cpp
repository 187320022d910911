// How a run ended, for deployment tools: each way a run ends has its reason,
// exit status and event; the result document carries them with the run's
// facts, and is written whole.
#include "update/RunResult.h"

#include "../common/TestFiles.h"
#include "common/WholeFile.h"
#include "products/ProductCheck.h"
#include "update/DownloadVerdict.h"
#include "update/PatchPin.h"
#include "update/PatchSigner.h"
#include "update/UpdateRun.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <vector>

namespace {

using V = DownloadVerdict;
enum class End { None, Stall, Overdue, Lost, Cancel, Started, Waited, StartFailed };

struct Transfer {
    V verdict;
    int pin = kPinNone;
    int signer = kSignerNotChecked;
};

// One run as its events: launch, product check, build, each download's end, then `end`.
struct Row {
    const char* reason;
    int exit;
    unsigned event;
    EventKind kind;
    int check = kProductsApplicable;
    std::vector<Transfer> fetches = {};
    End end = End::None;
    unsigned long code = 0; // the waited patch's exit code
    bool anyPin = false;
    const char* signer = ""; // a signer that no patch could satisfy
    int extract = 1;
    bool help = false;
};

const auto I = EventKind::Information;
const auto W = EventKind::Warning;
const auto E = EventKind::Error;

const Row kRows[] = {
    {"patch_started", 0, 1000, I, 1, {{V::Good, kPinMatch}}, End::Started, 0, true},
    {"patch_ended", 3010, 1001, I, 1, {{V::Good}}, End::Waited, 3010},
    {"patch_ended", 2, 1001, W, 1, {{V::Good}}, End::Waited, 2},
    {"already_applied", 4, 1002, I, 1, {}, End::None, 0, false, "", 1, false},
    {"product_missing", 1, 1003, I, kProductsNotFound},
    {"version_mismatch", 2, 3000, E, kProductsMismatch},
    {"publisher_refused", 2, 3007, E, 1, {}, End::None, 0, false, "Signer=someone is malformed"},
    {"publisher_refused", 3, 3007, E, 1, {{V::Good, kPinNone, kSignerNoSignature}, {V::Good, kPinNone, 4}}},
    {"server_unreachable", 3, 3001, E, 1, {{V::CallFailed}, {V::NoFile}}},
    {"server_unreachable", 3, 3001, E, 1, {}, End::Lost},
    {"http_error", 3, 3002, E, 1, {{V::CallFailed}, {V::ServerStatus}}},
    {"http_error", 3, 3002, E, 1, {{V::Incomplete}, {V::Incomplete}}},
    {"stalled", 3, 3003, E, 1, {{V::ServerStatus}}, End::Stall},
    {"overdue", 3, 3004, E, 1, {}, End::Overdue},
    {"size_refused", 3, 3005, E, 1, {{V::SizeRefused}, {V::SizeRefused}}},
    // The last download decides: the first one's stall is in its own entry.
    {"pin_mismatch", 3, 3006, E, 1, {{V::Good, kPinMismatch}, {V::Good, kPinNone}}, End::None, 0, true},
    {"end_unknown", 3, 3008, E, 1, {{V::EndUnknown}, {V::EndUnknown}}},
    {"patch_not_started", 6, 3009, E, 1, {{V::Good}}, End::StartFailed},
    {"cancelled", 5, 2000, W, 1, {}, End::Cancel},
    {"package_unreadable", 8, 3010, E, 1, {}, End::None, 0, false, "", 3},
    {"usage_shown", 9, 1004, I, 1, {}, End::None, 0, false, "", 1, true},
};

void play(CUpdateRun& run, const Row& row)
{
    run.onLaunch(row.help, row.extract);
    if (row.help || row.extract != 1)
        return;
    run.onInitDialog();
    run.onProductsChecked(row.check);
    if (row.check != kProductsApplicable)
        return;
    RunSource source;
    source.server = "http://h";
    source.srNo = "S";
    source.anyPin = row.anyPin;
    source.signerRequired = std::any_of(row.fetches.begin(), row.fetches.end(),
                                        [](const Transfer& t) { return t.signer != kSignerNotChecked; });
    source.signerProblem = row.signer;
    source.stallSeconds = 5;
    source.downloadSeconds = 100;
    const bool applied = std::string(row.reason) == "already_applied";
    run.onBuildChosen(applied ? kPatchAlreadyApplied : 2, source, 0);
    for (const Transfer& t : row.fetches)
        run.onDownloadEnded(t.verdict == V::Good, t.pin, "said \"\x01", "C:\\t\\1.exe", 1, t.signer, "",
                            static_cast<int>(t.verdict));
    switch (row.end) {
    case End::Stall:
        run.onTimerTick(true, 6000);
        break;
    case End::Overdue: // the first download, then its fallback
        run.onTimerTick(true, 200000);
        run.onTimerTick(true, 400000);
        break;
    case End::Lost:
        run.onTimerTick(false, 2000);
        break;
    case End::Cancel:
        run.onCancel();
        break;
    case End::Started:
    case End::Waited:
        run.onPatchStarted(row.end == End::Waited, row.code);
        break;
    case End::StartFailed:
        run.onPatchStartFailed(193);
        break;
    case End::None:
        break;
    }
}

std::string asIs(const char* text)
{
    return text;
}

TEST(RunResult, EachWayARunEndsHasOneReasonItsExitStatusAndItsEvent)
{
    for (const Row& row : kRows) {
        CUpdateRun run(true);
        play(run, row);
        const RunReason reason = runReason(run);
        EXPECT_STREQ(row.reason, reasonId(reason)) << row.reason;
        EXPECT_EQ(row.exit, run.exitStatus()) << row.reason;
        const ReasonEvent event = reasonEvent(reason, run.facts().patchExitCode);
        EXPECT_EQ(row.event, event.id) << row.reason;
        EXPECT_EQ(row.kind, event.kind) << row.reason;

        // The document says the same, and each download not started says why.
        const auto doc = nlohmann::json::parse(resultDocument(resultOf(run), asIs));
        EXPECT_EQ(row.reason, doc["reason"]) << row.reason;
        EXPECT_EQ(row.exit, doc["exit_status"]) << row.reason;
        EXPECT_EQ(run.outcomeLine(), doc["outcome_line"].get<std::string>() + "\n");
        ASSERT_EQ(run.facts().fetches.size(), doc["fetches"].size()) << row.reason;
        for (std::size_t i = 0; i < doc["fetches"].size(); ++i) {
            const bool started = reason == RunReason::PatchStarted || reason == RunReason::PatchEnded;
            EXPECT_EQ(started, doc["fetches"][i]["reason"].is_null()) << row.reason << " fetch " << i;
        }
        if (!row.fetches.empty() && row.end != End::Cancel && row.end != End::Lost) {
            EXPECT_EQ("said \"\x01", doc["fetches"][0]["verdict"].get<std::string>().substr(0, 7)) << row.reason;
        }
        EXPECT_EQ(row.end == End::Waited, doc["patch"].is_object() && doc["patch"]["exit_code"] == row.code)
            << row.reason;
    }
    EXPECT_EQ(2001u, reasonEvent(anotherInstanceResult().reason).id);
    EXPECT_EQ(7, anotherInstanceResult().exitStatus);
    // Each reason its own identifier and event ID.
    std::set<std::string> names;
    std::set<unsigned> ids;
    for (int r = 0; r <= static_cast<int>(RunReason::UsageShown); ++r) {
        names.insert(reasonId(static_cast<RunReason>(r)));
        ids.insert(reasonEvent(static_cast<RunReason>(r)).id);
    }
    EXPECT_EQ(18u, names.size());
    EXPECT_EQ(18u, ids.size());
}

// Under Wine a refused connection and a name that does not resolve give the same code;
// whether the service reported connecting tells them apart.
TEST(RunResult, AFailedTransferSaysWhetherTheNameResolved)
{
    DownloadFacts facts;
    facts.hrDownload = static_cast<std::int32_t>(0x800C0008u);
    const struct {
        bool connecting;
        bool statusKnown;
        const char* tail;
    } cases[] = {{false, false, "0 bytes, the server's name was not resolved"},
                 {true, false, "0 bytes, no answer from the server"},
                 {false, true, "0 bytes"}};
    for (const auto& c : cases) {
        facts.connecting = c.connecting;
        facts.statusKnown = c.statusKnown;
        const std::string said = describeDownload(DownloadVerdict::CallFailed, facts);
        EXPECT_NE(std::string::npos, said.find("(0x800C0008 INET_E_DOWNLOAD_FAILURE: the download failed), ")) << said;
        EXPECT_EQ(c.tail, said.substr(said.find("), ") + 3)) << said;
    }
}

TEST(RunResult, TheDocumentIsWrittenWholeAndReplacesALinkRatherThanWritingThroughIt)
{
    TempDir dir;
    const std::string victim = dir.write("victim", "someone else's\n");
    const struct {
        const char* name;
        bool linked; // the target is a symbolic link to the victim
        bool ok;
    } cases[] = {{"r.json", false, true}, {"r.json", false, true}, {"link.json", true, true}, {"", false, false}};
    for (const auto& c : cases) {
        const std::string path = c.name[0] ? dir.file(c.name) : dir.path(); // a folder cannot be replaced
        if (c.linked) {
            ASSERT_EQ(0, symlink(victim.c_str(), path.c_str()));
        }
        EXPECT_EQ(c.ok, writeWholeFile(path.c_str(), "{\"a\": 1}\n") == 0) << c.name;
        if (c.ok) {
            EXPECT_EQ("{\"a\": 1}\n", readFile(path)) << c.name;
        }
    }
    EXPECT_EQ("someone else's\n", readFile(victim));
    // Nothing but the documents and the victim is left behind.
    std::set<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        left.insert(entry.path().filename().string());
    EXPECT_EQ((std::set<std::string>{"victim", "r.json", "link.json"}), left);
    EXPECT_NE(0u, writeWholeFile(std::string(300, 'x').c_str(), "x"));
}

} // namespace
