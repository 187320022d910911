// How a run ended, for deployment tools: each way a run ends has its reason,
// exit status and event; the result document carries them with the run's
// facts, and is written whole.
#include "update/RunResult.h"

#include "../common/TestFiles.h"
#include "common/WholeFile.h"
#include "update/DownloadVerdict.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>

namespace {

// Each reason's event: its fixed ID and its type (the reasons themselves
// are read from the run's driver in RunDriverTest's table).
TEST(RunResult, EachReasonHasItsOwnIdentifierAndEvent)
{
    const auto I = EventKind::Information;
    const auto W = EventKind::Warning;
    const auto E = EventKind::Error;
    const struct {
        RunReason reason;
        unsigned long patchExitCode;
        const char* id;
        unsigned event;
        EventKind kind;
    } rows[] = {
        {RunReason::PatchStarted, 0, "patch_started", 1000, I},
        {RunReason::PatchEnded, 3010, "patch_ended", 1001, I},
        {RunReason::PatchEnded, 1641, "patch_ended", 1001, I},
        {RunReason::PatchEnded, 2, "patch_ended", 1001, W},
        {RunReason::AlreadyApplied, 0, "already_applied", 1002, I},
        {RunReason::ProductMissing, 0, "product_missing", 1003, I},
        {RunReason::UsageShown, 0, "usage_shown", 1004, I},
        {RunReason::Cancelled, 0, "cancelled", 2000, W},
        {RunReason::AnotherInstance, 0, "another_instance", 2001, W},
        {RunReason::VersionMismatch, 0, "version_mismatch", 3000, E},
        {RunReason::ServerUnreachable, 0, "server_unreachable", 3001, E},
        {RunReason::HttpError, 0, "http_error", 3002, E},
        {RunReason::Stalled, 0, "stalled", 3003, E},
        {RunReason::Overdue, 0, "overdue", 3004, E},
        {RunReason::SizeRefused, 0, "size_refused", 3005, E},
        {RunReason::PinMismatch, 0, "pin_mismatch", 3006, E},
        {RunReason::PublisherRefused, 0, "publisher_refused", 3007, E},
        {RunReason::EndUnknown, 0, "end_unknown", 3008, E},
        {RunReason::PatchNotStarted, 0, "patch_not_started", 3009, E},
        {RunReason::PackageUnreadable, 0, "package_unreadable", 3010, E},
    };
    std::set<std::string> names;
    std::set<unsigned> ids;
    for (const auto& row : rows) {
        EXPECT_STREQ(row.id, reasonId(row.reason));
        const ReasonEvent event = reasonEvent(row.reason, row.patchExitCode);
        EXPECT_EQ(row.event, event.id) << row.id;
        EXPECT_EQ(row.kind, event.kind) << row.id << " " << row.patchExitCode;
        names.insert(row.id);
        ids.insert(event.id);
    }
    // Every reason is in the table, each with an identifier and event of its own.
    EXPECT_EQ(static_cast<std::size_t>(RunReason::UsageShown) + 1, names.size());
    EXPECT_EQ(names.size(), ids.size());
    EXPECT_EQ(RunReason::AnotherInstance, anotherInstanceResult().reason);
    EXPECT_EQ(7, anotherInstanceResult().exitStatus);
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
