// The outcome line of a run: the account's product and build facts with the
// controller's downloads, command line and decision, in the words of each
// way a run ends. (The end-to-end run_log test runs the common ones.)
#include "update/RunAccount.h"

#include "../common/TestFiles.h"
#include "products/IniFileReader.h"
#include "products/ProductCheck.h"
#include "products/TableRegistry.h"
#include "update/DownloadVerdict.h"
#include "update/PatchPin.h"
#include "update/UpdateRun.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

// The worker's verdict in words: HRESULT, HTTP status (0 unknown),
// announced length (0 none), file size.
std::string transfer(DownloadVerdict verdict, std::int32_t hr, std::uint32_t status, std::uint64_t announced,
                     std::uint64_t size)
{
    return describeDownload(
        verdict, DownloadFacts{hr, false, status != 0, status, announced != 0, announced, false, size != 0, size});
}

// Launched, products applicable, build `id` chosen from http://h (SRNo S).
void chosen(CUpdateRun& run, int id, bool anyPin = false, int stall = 0, const std::string& server = "http://h",
            int seconds = 0)
{
    run.onLaunch(false, 1);
    run.onInitDialog();
    run.onProductsChecked(kProductsApplicable);
    RunSource source;
    source.server = server.c_str();
    source.srNo = "S";
    source.anyPin = anyPin;
    source.stallSeconds = stall;
    source.downloadSeconds = seconds;
    run.onBuildChosen(id, source, 0);
}

void ended(CUpdateRun& run, const std::string& said, bool good = true, int pin = kPinNone)
{
    run.onDownloadEnded(good, pin, said.c_str(), "C:\\t\\1.exe", 1);
}

TEST(RunAccount, OutcomeLineNamesTheOutcomeAndItsFacts)
{
    CTableRegistry registry;
    registry.setString("Software\\B\\UserReg", "Prod_Name", "  "); // cleaned to nothing
    registry.setString("Software\\B\\UserReg", "Prod_Ver", "2.0");
    registry.setString("Software\\A\\UserReg", "Prod_Name", "A");
    registry.setString("Software\\A\\UserReg", "Prod_Ver", "1.1");
    registry.setString("Software\\A\\BuildInfo", "SR_No", "S1");
    registry.setString("Software\\A\\BuildInfo", "SR_Ver", "1.1");
    TempDir dir;
    const std::string missing = dir.write("missing.ini", "[RegPath]\nCount=2\nPath0=Software\\B\nPath1=Software\\C\n");
    const std::string none = dir.write("none.ini", "[RegPath]\n");
    const std::string other = dir.write("other.ini", "[RegPath]\nCount=1\nPath0=Software\\A\nCheck0=A 1.0\n");
    const std::string counted = dir.write("counted.ini", "[RegPath]\nCount=1\n[SRInfo]\nCount=5000\n");
    CIniFileReader profile;
    const std::vector<ProductInfo> found = {ProductInfo{"Software\\A", "A", "", "S1", "1.1", "", "", 1}};
    // The product check over a file, noted with its reasons; its result.
    auto checked = [&](CRunAccount& account, const std::string& ini) {
        std::vector<ProductInfo> products;
        ProductReasons reasons;
        const int check = checkProducts(profile, registry, ini.c_str(), products, &reasons);
        account.noteProducts(check, products, reasons);
        return check;
    };
    const std::string good = transfer(DownloadVerdict::Good, 0, 200, 10, 10);
    struct Case {
        std::function<void(CRunAccount&, CUpdateRun&)> run;
        std::string line;
    };
    const Case cases[] = {
        {[&](CRunAccount& a, CUpdateRun& r) {
             a.noteSelection(0, found, "S9");
             chosen(r, 0, true);
             ended(r, good, true, kPinMatch);
             r.onPatchStarted(false, 0);
         },
         "patch started (exit 0): build keys A#S1#1.1 are all in Info0; http://h/0/S.exe: HTTP 200, 10 of 10 bytes, "
         "pin SHA2560 matched; started \"C:\\t\\1.exe\" /s"},
        {[&](CRunAccount& a, CUpdateRun& r) {
             a.noteSelection(-1, found, "S9");
             chosen(r, -1);
             ended(r, transfer(DownloadVerdict::Good, 0, 0, 0, 10));
             r.onPatchStarted(true, 3);
         },
         "patch finished (exit 3): build keys A#S1#1.1 are in no Info value together: the generic build; "
         "http://h/max/S.exe: 10 bytes; started \"C:\\t\\1.exe\" /s; the patch ended with exit code 3"},
        {[&](CRunAccount& a, CUpdateRun& r) { r.onOutcomeMessage(RunPost::ProductError, checked(a, missing)); },
         "product error (exit 1): product 0 (Software\\B) not found: UserReg\\Prod_Name missing or empty, no key "
         "Software\\B\\BuildInfo; product 1 (Software\\C) not found: no key Software\\C\\UserReg, no key "
         "Software\\C\\BuildInfo"},
        {[&](CRunAccount& a, CUpdateRun& r) { r.onOutcomeMessage(RunPost::ProductError, checked(a, none)); },
         "product error (exit 1): [RegPath] lists no products (Count missing, 0 or not a number)"},
        {[&](CRunAccount& a, CUpdateRun& r) { r.onOutcomeMessage(RunPost::ProductError, checked(a, other)); },
         "patch error (exit 2): product 0 (Software\\A) is \"A 1.1\", Check0 expects \"A 1.0\""},
        {[&](CRunAccount& a, CUpdateRun& r) { r.onOutcomeMessage(RunPost::ProductError, checked(a, counted)); },
         "patch error (exit 2): [SRInfo] Count 5000 is outside 0 to 1000"},
        {[&](CRunAccount&, CUpdateRun& r) {
             chosen(r, 0, true, 5);
             ended(r, good, true, kPinMismatch);
             r.onTimerTick(true, 6001);
         },
         "server error (exit 3): http://h/0/S.exe: HTTP 200, 10 of 10 bytes, pin SHA2560 did not match (file "
         "removed); http://h/Max/S.exe: no progress for 5 s"},
        {[&](CRunAccount&, CUpdateRun& r) {
             chosen(r, 2, true);
             ended(r, transfer(DownloadVerdict::Incomplete, 0, 200, 10, 5), false);
             ended(r, good); // the fallback, without a pin of its own
         },
         "server error (exit 3): http://h/2/S.exe: HTTP 200, 5 of 10 bytes, incomplete; http://h/Max/S.exe: HTTP 200, "
         "10 of 10 bytes, no pin SHA256Max (file removed)"},
        {[&](CRunAccount&, CUpdateRun& r) {
             chosen(r, 2);
             r.onTimerTick(false, 2000);
             ended(r, transfer(DownloadVerdict::CallFailed, -2146697211, 0, 0, 0), false);
         },
         "server error (exit 3): the internet connection was lost during the download of http://h/2/S.exe"},
        {[&](CRunAccount&, CUpdateRun& r) {
             chosen(r, 2, false, 0, "http://h", 10);
             ended(r, transfer(DownloadVerdict::EndUnknown, 0, 200, 0, 7), false);
             r.onTimerTick(true, 10001);
         },
         "server error (exit 3): http://h/2/S.exe: HTTP 200, 7 bytes, no length and no chunked framing: end unknown; "
         "http://h/Max/S.exe: not done after 10 s"},
        {[&](CRunAccount&, CUpdateRun& r) {
             DownloadFacts passed{0, true, true, 200, true, 9000, false, true, 4096};
             passed.sizePin = 1000;
             passed.sizeStop = DownloadFacts::kSizePassed;
             DownloadFacts announced = passed;
             announced.sizeStop = DownloadFacts::kSizeAnnounced;
             chosen(r, 2);
             ended(r, describeDownload(DownloadVerdict::SizeRefused, passed), false);
             ended(r, describeDownload(DownloadVerdict::SizeRefused, announced), false);
         },
         "server error (exit 3): http://h/2/S.exe: HTTP 200, stopped after 4096 bytes: more than the pinned 1000; "
         "http://h/Max/S.exe: HTTP 200, 9000 bytes announced, pinned 1000 (stopped)"},
        {[&](CRunAccount&, CUpdateRun& r) { chosen(r, 2, false, 0, "http://h/" + std::string(250, 'a')); },
         "not started (exit 6): the download URL is too long"},
        {[&](CRunAccount&, CUpdateRun& r) {
             chosen(r, 2, false, 0, "http://h/%s\n%n\x1b");
             ended(r, good);
             r.onPatchStartFailed(193);
         },
         "not started (exit 6): http://h/%s?%n?/2/S.exe: HTTP 200, 10 of 10 bytes; could not start \"C:\\t\\1.exe\" "
         "/s (error 193 ERROR_BAD_EXE_FORMAT: not a valid Windows program)"},
    };
    for (const Case& c : cases) {
        CRunAccount account;
        CUpdateRun run(true);
        c.run(account, run);
        EXPECT_EQ("[Veldrun] Outcome: " + c.line + "\n", account.outcomeLine(run));
    }
}

} // namespace
