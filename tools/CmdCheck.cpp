// vdrpack check: the program's product check and build selection, run on a
// patch information file against an installed state given as a registry
// export, with the URLs the run would fetch.
#include "ToolCommands.h"

#include "CheckRun.h"
#include "ExportRegistry.h"
#include "PackageLayout.h"
#include "PatchLint.h"
#include "RegExport.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"
#include "products/PatchInfoKeys.h"
#include "products/ProductCheck.h"
#include "update/FetchPlan.h"
#include "update/PatchPin.h"
#include "update/PatchSigner.h"
#include "update/RunDriver.h"

namespace {

const char kUsage[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n"
                      "                     [--codepage N]\n";
const char kHelp[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n"
                     "                     [--codepage N]\n"
                     "\n"
                     "Runs the program's product check and build selection on PATCH.ini with the installed state\n"
                     "of STATE.reg, a registry export (\"Windows Registry Editor Version 5.00\", UTF-16 or ANSI;\n"
                     "keys under HKEY_LOCAL_MACHINE count, others are listed and left out). Prints each product as\n"
                     "found, the outcome (applicable, patch error, product error, already applied), the build\n"
                     "chosen and every URL the run would fetch, in order, the fallback included, with its pin.\n"
                     "  --all-builds  also list the lint's findings (\"vdrpack lint\"): Info entries that never match\n"
                     "                or match the wrong machines, unusable pins, misspelled keys, ...;\n"
                     "                exit status 1 when one of them is an error\n"
                     "  --json        print a JSON object instead of text\n"
                     "  --view 32     (default) read as the 32-bit program does on 64-bit Windows: when the export\n"
                     "                holds Software\\WOW6432Node, that is what \"Software\" names\n"
                     "  --view 64     read every key as exported\n"
                     "  --codepage N  the ANSI code page of the machine the export stands for: 1252 (default,\n"
                     "                Western), 1250 (Central European), 1251 (Cyrillic) or 65001 (UTF-8). The\n"
                     "                program reads narrow text, so a UTF-16 export's text is narrowed to it (a\n"
                     "                character outside it becomes \"?\"); a \"REGEDIT4\" export is already in\n"
                     "                that machine's page and is read as it is\n"
                     "String values may be written as text, hex(1): or hex(2): (REG_EXPAND_SZ, read unexpanded).\n"
                     "Exit status: 0 a build would be fetched, 10 product error, 11 patch error, 12 already applied.\n";

// check's exit status for the run's outcome (checkOutcomeName words it).
int outcomeStatus(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::ProductError:
        return kToolProductError;
    case RunOutcome::PatchError:
    case RunOutcome::NotExtracted:
        return kToolPatchError;
    case RunOutcome::AlreadyApplied:
        return kToolAlreadyApplied;
    default:
        return kToolOk;
    }
}

struct Fetch {
    std::string url;  // "" when too long
    std::string role; // "first" or "fallback"
    std::string pinKey;
    std::string pin;
    std::string sizeKey;
    std::string size; // the size pin as written ("" when none)
};

// [SRInfo] Signer as the run reads it: which certificate a download must be
// signed with before it is started.
struct Signer {
    int kind = kSignerKeyNone;
    std::string sha256; // the certificate's digest in hex (kSignerKeyDigest)
    std::string value;  // the key as written
};

// What check found, before it is worded.
struct CheckReport {
    bool redirected = false;
    std::vector<ProductInfo> products;
    RunOutcome outcome = RunOutcome::Running;
    bool applicable = false; // a build was chosen and would be fetched
    int id = 0;
    std::vector<Fetch> fetches;
    Signer signer;
    bool anyPin = false; // the file pins some build: an unpinned download is refused
    bool allBuilds = false;
    std::vector<LintFinding> findings;
};

std::string srInfoValue(const IProfileReader& profile, const char* key, const std::string& iniPath)
{
    char value[kMaxText] = {};
    profile.getString(kSRInfoSection, key, "", value, sizeof value, iniPath.c_str());
    return value;
}

// The run's own driver over the export, without network: every download
// it starts ends with no file, so it walks its whole plan; nothing is held,
// judged or started. A package is taken to carry a valid signature: check
// reads a patch information file, not the package it will go into.
class CCheckPlatform : public IRunPlatform {
public:
    std::uint64_t nowMs() override { return 0; }
    void showStatus(unsigned) override {}
    void setTimer(bool) override {}
    bool online() override { return true; }
    bool startDownload(const DownloadTarget&) override { return pending = true; }
    void cancelDownload(bool) override { pending = false; }
    bool heldDigest(unsigned char*) override { return false; }
    int heldSigner(const SignerPolicy&, std::string&) override { return kSignerNoSignature; }
    bool packageSigner(unsigned char*) override { return true; }
    void removeDownload(bool) override {}
    PatchStartResult startPatch(const std::string&, bool, bool) override { return PatchStartResult(); }
    void post(RunPost which, int param) override { posted = which, postParam = param; }
    void showBox(unsigned, bool) override {}
    void end() override {}

    bool pending = false;
    RunPost posted = RunPost::None;
    int postParam = 0;
};

// The downloads the run plans, with the pin and size keys that judge each.
std::vector<Fetch> plannedFetches(const IProfileReader& profile, const std::string& iniPath,
                                  const std::vector<PlannedFetch>& plan)
{
    std::vector<Fetch> fetches;
    for (const PlannedFetch& planned : plan) {
        Fetch f{planned.url, fetchRoleName(planned.role), "", planned.pin, "", ""};
        char key[kPinKeySize];
        pinKeyName(planned.pinFolder, key, sizeof key);
        f.pinKey = key;
        sizeKeyName(planned.pinFolder, key, sizeof key);
        f.sizeKey = key;
        f.size = srInfoValue(profile, key, iniPath);
        fetches.push_back(f);
    }
    return fetches;
}

Signer readSigner(const IProfileReader& profile, const std::string& iniPath)
{
    Signer signer;
    signer.value = srInfoValue(profile, kSignerKey, iniPath);
    unsigned char digest[kSha256Size];
    signer.kind = readSignerKey(signer.value.c_str(), digest);
    if (signer.kind == kSignerKeyDigest) {
        char hex[kSha256HexSize] = {};
        sha256Hex(digest, hex);
        signer.sha256 = hex;
    }
    return signer;
}

} // namespace

RunOutcome checkRun(CRunDriver& driver, IRegistry& registry, const IProfileReader& profile, const char* iniPath)
{
    CCheckPlatform platform;
    RunPlace place;
    place.profile = &profile;
    place.iniPath = iniPath;
    driver.onLaunch(false, 1);
    driver.start(platform, registry, place);
    // At most the plan's downloads, each ending without a file.
    for (std::size_t i = 0; platform.pending && i <= driver.plan().size(); ++i) {
        platform.pending = false;
        driver.onDownloadEnded(DownloadEnd());
    }
    if (platform.posted != RunPost::None)
        driver.onOutcomeMessage(platform.posted, platform.postParam);
    driver.finish();
    return driver.outcome();
}

namespace {

// The program's run over the export, up to its first download.
CheckReport computeCheck(const CRegExport& reg, bool view32, const std::string& iniPath, const std::string& ini,
                         bool allBuilds)
{
    CheckReport r;
    CExportRegistry table(reg, view32);
    r.redirected = table.redirected();
    const IProfileReader& profile = platformProfile();
    CRunDriver driver(true);
    r.outcome = checkRun(driver, table, profile, iniPath.c_str());
    r.products = driver.products();
    r.id = driver.facts().buildId;
    r.applicable = std::string(checkOutcomeName(r.outcome)) == "applicable";
    r.fetches = plannedFetches(profile, iniPath, driver.plan());
    r.signer = readSigner(profile, iniPath);
    r.anyPin = hasAnyPin(profile, iniPath.c_str());
    r.allBuilds = allBuilds;
    if (allBuilds)
        r.findings = lintPatchFile(ini);
    return r;
}

Json nullOr(const std::string& text)
{
    return text.empty() ? Json(nullptr) : jsonText(text);
}

Json signerJson(const Signer& s)
{
    switch (s.kind) {
    case kSignerKeyNone:
        return nullptr;
    case kSignerKeyPackage:
        return Json{{"kind", "package"}, {"sha256", nullptr}};
    case kSignerKeyDigest:
        return Json{{"kind", "certificate"}, {"sha256", s.sha256}};
    default:
        return Json{{"kind", "malformed"}, {"sha256", nullptr}, {"value", jsonText(s.value)}};
    }
}

// What protects the downloads the run makes: their pins, the signer, or
// nothing.
std::string signerText(const Signer& s, const std::vector<Fetch>& fetches, bool anyPin)
{
    if (s.kind == kSignerKeyMalformed)
        return "signer: malformed \"" + s.value + "\" (every run ends in the patch error)\n";
    std::string signer = s.kind == kSignerKeyPackage  ? "the package's own certificate"
                         : s.kind == kSignerKeyDigest ? "the certificate " + s.sha256
                                                      : "none";
    if (fetches.empty())
        return "signer: " + signer + " (nothing is downloaded)\n";
    std::size_t pinned = 0;
    for (const Fetch& f : fetches)
        pinned += f.pin.empty() ? 0 : 1;
    std::string pins = pinned == fetches.size() ? "every download is checked against its pin"
                       : anyPin                 ? "a download without its pin is refused, the others are checked "
                                                  "against their pins"
                                                : "";
    if (s.kind != kSignerKeyNone)
        return "signer: " + signer + " (a download is started only with a valid signature by it" +
               (pins.empty() ? "" : "; " + pins) + ")\n";
    return pins.empty() ? "signer: none, and no pins (a download is started unchecked)\n"
                        : "signer: none (" + pins + ")\n";
}

// A download's pin line; without its own pin, a file that pins other
// builds refuses it.
std::string pinText(const Fetch& f, bool anyPin)
{
    if (!f.pin.empty())
        return "  pin " + f.pinKey + ": " + f.pin + "\n";
    return "  pin " + f.pinKey + ": none" +
           (anyPin ? " (refused: the file pins other builds, and a download without its pin is never started)" : "") +
           "\n";
}

std::string checkJson(const CheckReport& r, const std::string& iniArg, const std::string& regArg)
{
    Json j = jsonDocument("check");
    j["file"] = jsonText(iniArg);
    j["registry"] = jsonText(regArg);
    j["registryView"] = r.redirected ? "wow6432node" : "as-exported";
    Json jProducts = Json::array();
    for (std::size_t i = 0; i < r.products.size(); ++i) {
        const ProductInfo& p = r.products[i];
        jProducts.push_back(Json{{"index", i},
                                 {"path", jsonText(p.szPath)},
                                 {"found", p.bFound != 0},
                                 {"name", jsonText(p.szProdName)},
                                 {"version", jsonText(p.szProdVer)},
                                 {"srNo", jsonText(p.szSRNo)},
                                 {"srVersion", jsonText(p.szSRVer)},
                                 {"check", jsonText(p.szCheck)},
                                 {"exempt", isExempt(p.szNoVerCheck)}});
    }
    j["products"] = jProducts;
    j["outcome"] = checkOutcomeName(r.outcome);
    j["build"] = nullptr;
    if (r.applicable && r.id == kPatchGeneric)
        j["build"] = Json{{"generic", true}};
    else if (r.applicable)
        j["build"] = Json{{"folder", r.id}};
    Json jFetches = Json::array();
    for (const Fetch& f : r.fetches)
        jFetches.push_back(Json{{"role", f.role},
                                {"url", nullOr(f.url)},
                                {"pinKey", f.pinKey},
                                {"pin", nullOr(f.pin)},
                                {"sizeKey", f.sizeKey},
                                {"size", nullOr(f.size)}});
    j["fetches"] = jFetches;
    j["signer"] = signerJson(r.signer);
    if (r.allBuilds)
        j["findings"] = lintJson(r.findings);
    return jsonDump(j);
}

std::string checkText(const CheckReport& r, const std::string& iniArg, const std::string& regArg)
{
    std::string text =
        iniArg + " against " + regArg + (r.redirected ? " (32-bit view: Software\\WOW6432Node)" : "") + "\nproducts:\n";
    for (std::size_t i = 0; i < r.products.size(); ++i) {
        const ProductInfo& p = r.products[i];
        text += "  " + std::to_string(i) + " " + p.szPath + ": ";
        if (!p.bFound)
            text += "not found (or incomplete)\n";
        else
            text += std::string(p.szProdName) + " " + p.szProdVer + ", SR " + p.szSRNo + " " + p.szSRVer +
                    "; Check \"" + p.szCheck + "\"" +
                    (isExempt(p.szNoVerCheck) ? " (exempt)"
                     : identityDiffers(p)     ? " does not match"
                                              : " matches") +
                    "\n";
    }
    text += std::string("outcome: ") + checkOutcomeName(r.outcome) + "\n";
    if (r.applicable && r.id == kPatchGeneric)
        text += "build: generic (max folder)\n";
    else if (r.applicable)
        text += "build: " + std::to_string(r.id) + "\n";
    for (const Fetch& f : r.fetches) {
        text += f.role + ": " + (f.url.empty() ? "(URL longer than 259 characters: not fetched)" : f.url) + "\n";
        text += pinText(f, r.anyPin);
        text += "  size " + f.sizeKey + ": " + (f.size.empty() ? "none (bounded at 2 GiB)" : f.size) + "\n";
    }
    text += signerText(r.signer, r.fetches, r.anyPin);
    if (r.allBuilds) {
        text += r.findings.empty() ? "all builds: no findings\n" : "all builds: " + lintSummary(r.findings) + "\n";
        text += lintText(iniArg, r.findings);
    }
    return text;
}

} // namespace

int runCheck(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {"--all-builds", "--json"}, {"--registry", "--view", "--codepage"}, io, "check",
                              kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 1 || !a.has("--registry"))
        return usageError(io, "check", "needs PATCH.ini and --registry STATE.reg", kUsage);
    std::string view = a.has("--view") ? a.value("--view") : "32";
    if (view != "32" && view != "64")
        return usageError(io, "check", "--view is 32 or 64", kUsage);
    CRegExport reg;
    if (a.has("--codepage")) {
        const std::string& page = a.value("--codepage");
        if (page.empty() || page.size() > 5 || page.find_first_not_of("0123456789") != std::string::npos ||
            !reg.setCodePage(static_cast<unsigned>(std::stoul(page))))
            return usageError(io, "check", "--codepage is 1250, 1251, 1252 or 65001", kUsage);
    }
    const std::string& iniArg = a.positional()[0];
    const std::string& regArg = a.value("--registry");

    std::string ini;
    if (!readWholeFile(iniArg, ini))
        return toolError(io, kToolUnreadable, iniArg, "cannot read the file");
    if (isProgramOrPackage(iniArg, ini))
        return toolError(io, kToolRefused, iniArg, "is a program or a package, not a patch information file");
    // A whole machine's export runs to tens of megabytes: it is read as a
    // stream, never whole.
    int parsed = reg.parseFile(regArg);
    if (parsed != kRegExportOk)
        return toolError(io, parsed == kRegExportUnreadable ? kToolUnreadable : kToolMalformed, regArg, reg.error());
    // The platform's profile reader (on Windows) looks for a bare name in
    // the system directory: it gets the full path, as in the program.
    std::string iniPath = absolutePath(iniArg);
    if (iniPath.empty() || iniPath.size() >= kMaxText)
        return toolError(io, kToolUnreadable, iniArg, "the full path does not fit in 259 characters");
    for (const std::string& w : reg.warnings())
        io.err += "vdrpack: " + regArg + ": warning: " + w + "\n";

    CheckReport report = computeCheck(reg, view == "32", iniPath, ini, a.has("--all-builds"));
    io.out += a.has("--json") ? checkJson(report, iniArg, regArg) : checkText(report, iniArg, regArg);
    return hasLintErrors(report.findings) ? kToolFindings : outcomeStatus(report.outcome);
}
