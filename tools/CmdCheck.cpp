// vdrpack check: the program's product check and build selection, run on a
// patch information file against an installed state given as a registry
// export, with the URLs the run would fetch.
#include "ToolCommands.h"

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

namespace {

const char kUsage[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n";
const char kHelp[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n"
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
                     "String values may be written as text, hex(1): or hex(2): (REG_EXPAND_SZ, read unexpanded).\n"
                     "Exit status: 0 a build would be fetched, 10 product error, 11 patch error, 12 already applied.\n";

// The outcome's stable name and exit status.
const char* outcomeName(int result, int id)
{
    if (result == kProductsNotFound)
        return "product-error";
    if (result == kProductsMismatch)
        return "patch-error";
    return id == kPatchAlreadyApplied ? "already-applied" : "applicable";
}

int outcomeStatus(int result, int id)
{
    if (result == kProductsNotFound)
        return kToolProductError;
    if (result == kProductsMismatch)
        return kToolPatchError;
    return id == kPatchAlreadyApplied ? kToolAlreadyApplied : kToolOk;
}

struct Fetch {
    std::string url;
    std::string role; // "first" or "fallback"
    std::string pinKey;
    std::string pin;
    std::string sizeKey;
    std::string size; // the size pin as written ("" when none)
};

// [SRInfo] Signer as the run reads it: which certificate a download must be
// signed with before it is started.
void reportSigner(const IProfileReader& profile, const std::string& iniPath, Json& j, std::string& text)
{
    char value[kMaxText] = {};
    profile.getString(kSRInfoSection, kSignerKey, "", value, sizeof value, iniPath.c_str());
    unsigned char digest[kSha256Size];
    int kind = readSignerKey(value, digest);
    char hex[kSha256HexSize] = {};
    if (kind == kSignerKeyDigest)
        sha256Hex(digest, hex);
    switch (kind) {
    case kSignerKeyNone:
        j["signer"] = nullptr;
        text += "signer: none (a download is started unsigned)\n";
        return;
    case kSignerKeyPackage:
        j["signer"] = Json{{"kind", "package"}, {"sha256", nullptr}};
        text += "signer: the package's own certificate (a valid signature with it)\n";
        return;
    case kSignerKeyDigest:
        j["signer"] = Json{{"kind", "certificate"}, {"sha256", hex}};
        text += std::string("signer: the certificate ") + hex + " (a valid signature with it)\n";
        return;
    default:
        j["signer"] = Json{{"kind", "malformed"}, {"sha256", nullptr}, {"value", jsonText(value)}};
        text += std::string("signer: malformed \"") + value + "\" (every run ends in the patch error)\n";
        return;
    }
}

} // namespace

int runCheck(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status =
        beginCommand(a, args, {"--all-builds", "--json"}, {"--registry", "--view"}, io, "check", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 1 || !a.has("--registry"))
        return usageError(io, "check", "needs PATCH.ini and --registry STATE.reg", kUsage);
    std::string view = a.has("--view") ? a.value("--view") : "32";
    if (view != "32" && view != "64")
        return usageError(io, "check", "--view is 32 or 64", kUsage);
    const std::string& iniArg = a.positional()[0];
    const std::string& regArg = a.value("--registry");
    bool json = a.has("--json");

    std::string ini;
    if (!readWholeFile(iniArg, ini))
        return toolError(io, kToolUnreadable, iniArg, "cannot read the file");
    if (isProgramOrPackage(iniArg, ini))
        return toolError(io, kToolRefused, iniArg, "is a program or a package, not a patch information file");
    // A whole machine's export runs to tens of megabytes: it is read as a
    // stream, never whole.
    CRegExport reg;
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

    CExportRegistry table(reg, view == "32");
    bool redirected = table.redirected();
    const IProfileReader& profile = platformProfile();
    std::vector<ProductInfo> products;
    int result = checkProducts(profile, table, iniPath.c_str(), products);
    int id = 0;
    char server[kMaxText] = {};
    char srNo[kMaxText] = {};
    std::vector<Fetch> fetches;
    if (result == kProductsApplicable) {
        profile.getString(kSRInfoSection, kURLKey, "", server, sizeof server, iniPath.c_str());
        profile.getString(kSRInfoSection, kSRNoKey, "", srNo, sizeof srNo, iniPath.c_str());
        id = getSRIdFromFile(profile, iniPath.c_str(), products, srNo);
        // The downloads the run makes, from the controller's own plan.
        for (const PlannedFetch& planned : planFetches(id, server, srNo)) {
            Fetch f{planned.url, fetchRoleName(planned.role), "", "", "", ""};
            char key[kPinKeySize];
            char value[kMaxText] = {};
            pinKeyName(planned.pinFolder, key, sizeof key);
            profile.getString(kSRInfoSection, key, "", value, sizeof value, iniPath.c_str());
            f.pinKey = key;
            f.pin = value;
            sizeKeyName(planned.pinFolder, key, sizeof key);
            profile.getString(kSRInfoSection, key, "", value, sizeof value, iniPath.c_str());
            f.sizeKey = key;
            f.size = value;
            fetches.push_back(f);
        }
    }
    std::vector<LintFinding> findings;
    if (a.has("--all-builds"))
        findings = lintPatchFile(ini);

    Json j = jsonDocument("check");
    j["file"] = jsonText(iniArg);
    j["registry"] = jsonText(regArg);
    j["registryView"] = redirected ? "wow6432node" : "as-exported";
    Json jProducts = Json::array();
    std::string text =
        iniArg + " against " + regArg + (redirected ? " (32-bit view: Software\\WOW6432Node)" : "") + "\nproducts:\n";
    for (std::size_t i = 0; i < products.size(); ++i) {
        const ProductInfo& p = products[i];
        bool exempt = std::string(p.szNoVerCheck) == "1";
        jProducts.push_back(Json{{"index", i},
                                 {"path", jsonText(p.szPath)},
                                 {"found", p.bFound != 0},
                                 {"name", jsonText(p.szProdName)},
                                 {"version", jsonText(p.szProdVer)},
                                 {"srNo", jsonText(p.szSRNo)},
                                 {"srVersion", jsonText(p.szSRVer)},
                                 {"check", jsonText(p.szCheck)},
                                 {"exempt", exempt}});
        text += "  " + std::to_string(i) + " " + p.szPath + ": ";
        if (!p.bFound)
            text += "not found (or incomplete)\n";
        else
            text += std::string(p.szProdName) + " " + p.szProdVer + ", SR " + p.szSRNo + " " + p.szSRVer +
                    "; Check \"" + p.szCheck + "\"" +
                    (exempt ? " (exempt)" : identityDiffers(p) ? " does not match" : " matches") +
                    "\n";
    }
    j["products"] = jProducts;
    const char* outcome = outcomeName(result, id);
    j["outcome"] = outcome;
    text += std::string("outcome: ") + outcome + "\n";
    j["build"] = nullptr;
    if (result == kProductsApplicable && id == kPatchGeneric) {
        j["build"] = Json{{"generic", true}};
        text += "build: generic (max folder)\n";
    } else if (result == kProductsApplicable && id != kPatchAlreadyApplied) {
        j["build"] = Json{{"folder", id}};
        text += "build: " + std::to_string(id) + "\n";
    }
    Json jFetches = Json::array();
    for (const Fetch& f : fetches) {
        jFetches.push_back(Json{{"role", f.role},
                                {"url", f.url.empty() ? Json(nullptr) : jsonText(f.url)},
                                {"pinKey", f.pinKey},
                                {"pin", f.pin.empty() ? Json(nullptr) : jsonText(f.pin)},
                                {"sizeKey", f.sizeKey},
                                {"size", f.size.empty() ? Json(nullptr) : jsonText(f.size)}});
        text += f.role + ": " + (f.url.empty() ? "(URL longer than 259 characters: not fetched)" : f.url) + "\n";
        text += "  pin " + f.pinKey + ": " + (f.pin.empty() ? "none" : f.pin) + "\n";
        text += "  size " + f.sizeKey + ": " + (f.size.empty() ? "none (bounded at 2 GiB)" : f.size) + "\n";
    }
    j["fetches"] = jFetches;
    reportSigner(profile, iniPath, j, text);
    if (a.has("--all-builds")) {
        j["findings"] = lintJson(findings);
        text += findings.empty() ? "all builds: no findings\n" : "all builds: " + lintSummary(findings) + "\n";
        text += lintText(iniArg, findings);
    }
    io.out += json ? jsonDump(j) : text;
    return hasLintErrors(findings) ? kToolFindings : outcomeStatus(result, id);
}
