// vdrpack check: the program's product check and build selection, run on a
// patch information file against an installed state given as a registry
// export, with the URLs the run would fetch.
#include "ToolCommands.h"

#include "BuildAudit.h"
#include "JsonWriter.h"
#include "RegExport.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "common/FixedBuf.h"
#include "products/ProductCheck.h"
#include "products/TableRegistry.h"
#include "products/TextCompare.h"
#include "update/PatchPin.h"
#include "update/UpdateRules.h"

namespace {

const char kUsage[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n";
const char kHelp[] = "usage: vdrpack check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64]\n"
                     "\n"
                     "Runs the program's product check and build selection on PATCH.ini with the installed state\n"
                     "of STATE.reg, a registry export (\"Windows Registry Editor Version 5.00\", UTF-16 or ANSI;\n"
                     "keys under HKEY_LOCAL_MACHINE count, others are listed and left out). Prints each product as\n"
                     "found, the outcome (applicable, patch error, product error, already applied), the build\n"
                     "chosen and every URL the run would fetch, in order, the fallback included, with its pin.\n"
                     "  --all-builds  also audit every Info entry: keys cut at 259 characters, names that no Check\n"
                     "                value gives (typos), entries that can never be chosen, unusable pins;\n"
                     "                exit status 1 when there is any finding\n"
                     "  --json        print a JSON object instead of text\n"
                     "  --view 32     (default) read as the 32-bit program does on 64-bit Windows: when the export\n"
                     "                holds Software\\WOW6432Node, that is what \"Software\" names\n"
                     "  --view 64     read every key as exported\n";

const char* outcomeName(int result, int id)
{
    if (result == kProductsNotFound)
        return "product error";
    if (result == kProductsMismatch)
        return "patch error";
    return id == kPatchAlreadyApplied ? "already applied" : "applicable";
}

bool underSoftwareWow(const std::string& foldedPath, std::string& rest)
{
    const std::string wow = "software\\wow6432node";
    if (foldedPath.compare(0, wow.size(), wow) != 0)
        return false;
    if (foldedPath.size() == wow.size()) {
        rest.clear();
        return true;
    }
    if (foldedPath[wow.size()] != '\\')
        return false;
    rest = foldedPath.substr(wow.size());
    return true;
}

// Fills the table with the export's keys, as the chosen view shows them.
// Returns true when the 32-bit view's redirection was applied.
bool fillRegistry(const CRegExport& reg, CTableRegistry& table, bool view32)
{
    auto folded = [](std::string s) {
        for (char& c : s)
            c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        return s;
    };
    std::string rest;
    bool redirect = false;
    for (const RegExportKey& k : reg.keys())
        redirect = redirect || (view32 && underSoftwareWow(folded(k.path), rest));
    for (const RegExportKey& k : reg.keys()) {
        std::string path = k.path;
        std::string f = folded(path);
        if (redirect) {
            if (underSoftwareWow(f, rest))
                path = "Software" + k.path.substr(k.path.size() - rest.size());
            else if (f == "software" || f.compare(0, 9, "software\\") == 0)
                continue; // the 64-bit view, which a 32-bit program does not see
        }
        table.addKey(path);
        for (const RegExportValue& v : k.values) {
            if (v.bString)
                table.setString(path, v.name, v.text);
            else
                table.setOther(path, v.name);
        }
    }
    return redirect;
}

// The identity comparison of the product check, for the report.
bool identityMatches(const ProductInfo& p)
{
    std::string identity = std::string(p.szProdName) + " " + p.szProdVer;
    return textEqualNoCase(identity.c_str(), p.szCheck);
}

struct Fetch {
    std::string url;
    std::string role; // "first" or "fallback"
    std::string pinKey;
    std::string pin;
};

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

    std::string ini, regBytes;
    if (!readWholeFile(iniArg, ini)) {
        io.err += "vdrpack check: cannot read " + iniArg + "\n";
        return kToolUnreadable;
    }
    if (!readWholeFile(regArg, regBytes)) {
        io.err += "vdrpack check: cannot read " + regArg + "\n";
        return kToolUnreadable;
    }
    CRegExport reg;
    if (reg.parse(regBytes) != kRegExportOk) {
        io.err += "vdrpack check: " + regArg + ": " + reg.error() + "\n";
        return kToolMalformed;
    }
    // The platform's profile reader (on Windows) looks for a bare name in
    // the system directory: it gets the full path, as in the program.
    std::string iniPath = absolutePath(iniArg);
    if (iniPath.empty() || iniPath.size() >= kMaxText) {
        io.err += "vdrpack check: the path of " + iniArg + " does not fit in 259 characters\n";
        return kToolUnreadable;
    }
    for (const std::string& w : reg.warnings())
        io.err += "vdrpack check: " + regArg + ": " + w + "\n";

    CTableRegistry table;
    bool redirected = fillRegistry(reg, table, view == "32");
    const IProfileReader& profile = platformProfile();
    std::vector<ProductInfo> products;
    int result = checkProducts(profile, table, iniPath.c_str(), products);
    int id = 0;
    char server[kMaxText] = {};
    char srNo[kMaxText] = {};
    std::vector<Fetch> fetches;
    if (result == kProductsApplicable) {
        profile.getString("SRInfo", "URL", "", server, sizeof server, iniPath.c_str());
        profile.getString("SRInfo", "SRNo", "", srNo, sizeof srNo, iniPath.c_str());
        id = getSRIdFromFile(profile, iniPath.c_str(), products, srNo);
        if (id != kPatchAlreadyApplied) {
            // The program's own URL rules: the first URL, then the one
            // fallback unless the first already was the generic build's.
            char url[kMaxText] = {};
            bool fits = composeFirstURL(url, sizeof url, server, id, srNo);
            fetches.push_back(Fetch{fits ? url : "", "first", "", ""});
            if (firstDownloadAllowsFallback(id)) {
                fits = composeFallbackURL(url, sizeof url, server, srNo);
                fetches.push_back(Fetch{fits ? url : "", "fallback", "", ""});
            }
            for (Fetch& f : fetches) {
                char key[kPinKeySize];
                pinKeyName(pinFolderFor(id, f.role == "fallback"), key, sizeof key);
                char pin[kMaxText] = {};
                profile.getString("SRInfo", key, "", pin, sizeof pin, iniPath.c_str());
                f.pinKey = key;
                f.pin = pin;
            }
        }
    }
    std::vector<BuildFinding> findings;
    if (a.has("--all-builds"))
        findings = auditBuilds(profile, iniPath.c_str());

    CJsonWriter j;
    j.beginObject();
    j.string("file", iniArg);
    j.string("registryView", redirected ? "32-bit (Software\\WOW6432Node)" : "as exported");
    j.beginArray("products");
    std::string text =
        iniArg + " against " + regArg + (redirected ? " (32-bit view: Software\\WOW6432Node)" : "") + "\nproducts:\n";
    for (std::size_t i = 0; i < products.size(); ++i) {
        const ProductInfo& p = products[i];
        bool exempt = std::string(p.szNoVerCheck) == "1";
        j.beginObject();
        j.number("index", static_cast<std::int64_t>(i));
        j.string("path", p.szPath);
        j.boolean("found", p.bFound != 0);
        j.string("name", p.szProdName);
        j.string("version", p.szProdVer);
        j.string("srNo", p.szSRNo);
        j.string("srVersion", p.szSRVer);
        j.string("check", p.szCheck);
        j.boolean("exempt", exempt);
        j.endObject();
        text += "  " + std::to_string(i) + " " + p.szPath + ": ";
        if (!p.bFound)
            text += "not found (or incomplete)\n";
        else
            text += std::string(p.szProdName) + " " + p.szProdVer + ", SR " + p.szSRNo + " " + p.szSRVer +
                    "; Check \"" + p.szCheck + "\"" +
                    (exempt               ? " (exempt)"
                     : identityMatches(p) ? " matches"
                                          : " does not match") +
                    "\n";
    }
    j.endArray();
    const char* outcome = outcomeName(result, id);
    j.string("outcome", outcome);
    text += std::string("outcome: ") + outcome + "\n";
    if (result == kProductsApplicable) {
        if (id == kPatchGeneric) {
            j.string("build", "generic");
            text += "build: generic (max folder)\n";
        } else if (id == kPatchAlreadyApplied) {
            j.string("build", "none");
        } else {
            j.number("build", id);
            text += "build: " + std::to_string(id) + "\n";
        }
    }
    j.beginArray("fetches");
    for (const Fetch& f : fetches) {
        j.beginObject();
        j.string("role", f.role);
        j.string("url", f.url);
        j.string("pinKey", f.pinKey);
        if (f.pin.empty())
            j.null("pin");
        else
            j.string("pin", f.pin);
        j.endObject();
        text += f.role + ": " + (f.url.empty() ? "(URL longer than 259 characters: not fetched)" : f.url) + "\n";
        text += "  pin " + f.pinKey + ": " + (f.pin.empty() ? "none" : f.pin) + "\n";
    }
    j.endArray();
    if (a.has("--all-builds")) {
        j.beginArray("findings");
        text += findings.empty() ? "all builds: no findings\n" : "all builds:\n";
        for (const BuildFinding& f : findings) {
            j.beginObject();
            j.string("where", f.where);
            j.string("problem", f.problem);
            j.endObject();
            text += "  " + f.where + ": " + f.problem + "\n";
        }
        j.endArray();
    }
    j.endObject();
    io.out += json ? j.text() : text;
    return findings.empty() ? kToolOk : kToolFindings;
}
