// The outcome line of a run: the facts noted on the way, in the words of
// each way a run ends. (The end-to-end run_log test runs the common ones.)
#include "update/RunAccount.h"

#include "products/ProductCheck.h"
#include "products/TableRegistry.h"
#include "update/PatchPin.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// Facts of a download: HRESULT, HTTP status (0 unknown), announced length (0 none), file size.
DownloadFacts facts(std::int32_t hr, std::uint32_t status, std::uint64_t announced, std::uint64_t size)
{
    return DownloadFacts{hr, false, status != 0, status, announced != 0, announced, size != 0, size};
}

TEST(RunAccount, OutcomeLineNamesTheOutcomeAndItsFacts)
{
    CTableRegistry registry;
    registry.setString("Software\\B\\UserReg", "Prod_Name", "  "); // cleaned to nothing
    registry.setString("Software\\B\\UserReg", "Prod_Ver", "2.0");
    const std::vector<ProductInfo> found = {ProductInfo{"Software\\A", "A", "", "S1", "1.1", "", "", 1}};
    struct Case {
        std::function<void(CRunAccount&)> run;
        int exitStatus;
        std::string line;
    };
    const Case cases[] = {
        {[&](CRunAccount& r) {
             r.noteSelection(0, found, "S9");
             r.noteDownload("http://h/0/S.exe", DownloadVerdict::Good, facts(0, 200, 10, 10));
             r.notePin(kPinMatch, 0);
             r.notePatchStart("\"C:\\t\\1.exe\" /s", true, 0);
         },
         0,
         "patch started (exit 0): build keys A#S1#1.1 are all in Info0; http://h/0/S.exe: HTTP 200, 10 of 10 bytes, "
         "pin SHA2560 matched; started \"C:\\t\\1.exe\" /s"},
        {[&](CRunAccount& r) {
             r.noteSelection(-1, found, "S9");
             r.noteDownload("http://h/max/S.exe", DownloadVerdict::Good, facts(0, 0, 0, 10));
             r.notePatchExit(3);
         },
         3,
         "patch finished (exit 3): build keys A#S1#1.1 are in no Info value together: the generic build; "
         "http://h/max/S.exe: 10 bytes; the patch ended with exit code 3"},
        {[&](CRunAccount& r) {
             r.noteProducts(kProductsNotFound, {ProductInfo{"Software\\B"}, ProductInfo{"Software\\C"}}, registry);
         },
         1,
         "product error (exit 1): product 0 (Software\\B) not found: UserReg\\Prod_Name missing or empty, no key "
         "Software\\B\\BuildInfo; product 1 (Software\\C) not found: no key Software\\C\\UserReg, no key "
         "Software\\C\\BuildInfo"},
        {[&](CRunAccount& r) { r.noteProducts(kProductsNotFound, {}, registry); }, 1,
         "product error (exit 1): [RegPath] lists no products (Count missing, 0 or not a number)"},
        {[&](CRunAccount& r) {
             r.noteDownload("http://h/0/S.exe", DownloadVerdict::Good, facts(0, 200, 10, 10));
             r.notePin(kPinMismatch, 0);
             r.noteDownload("http://h/Max/S.exe", DownloadVerdict::Incomplete, facts(0, 200, 10, 5));
             r.noteDownload("http://h/Max/S.exe", DownloadVerdict::CallFailed, facts(-2146697211, 0, 0, 0));
             r.noteConnectionLost();
         },
         3,
         "server error (exit 3): http://h/0/S.exe: HTTP 200, 10 of 10 bytes, pin SHA2560 did not match (file "
         "removed); http://h/Max/S.exe: HTTP 200, 5 of 10 bytes, incomplete; http://h/Max/S.exe: transfer failed "
         "(0x800C0005), 0 bytes; the internet connection was lost during the download"},
        {[&](CRunAccount& r) {
             r.noteURLRefused("");
             r.noteURLRefused("http://h/%s\n%n\x1b");
             r.notePatchStart("\"x.exe\" /s", false, 193);
         },
         6,
         "not started (exit 6): the download URL would pass 259 characters; download URL rejected: http://h/%s?%n?; "
         "could not start \"x.exe\" /s (error 193)"},
        {[](CRunAccount&) {}, 7, "another instance runs (exit 7)"},
        {[](CRunAccount&) {}, 8, "patch information file not extracted (exit 8)"},
        {[](CRunAccount&) {}, 9, "usage shown (exit 9)"},
    };
    for (const Case& c : cases) {
        CRunAccount account;
        c.run(account);
        EXPECT_EQ("[Veldrun] Outcome: " + c.line + "\n", account.outcomeLine(c.exitStatus));
    }
}

} // namespace
