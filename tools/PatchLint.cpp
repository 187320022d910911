#include "PatchLint.h"

#include "PackageLayout.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"
#include "products/IniFileReader.h"
#include "products/PatchInfoKeys.h"
#include "products/ProductCheck.h"
#include "products/ProfileLines.h"
#include "update/FetchPlan.h"
#include "update/PatchSigner.h"

#include <algorithm>

// The keys the program reads in one section.
struct KnownKeys {
    const char* section;
    std::vector<std::string> plain;
    std::vector<std::string> indexed; // stems followed by a decimal index
};

namespace {

const KnownKeys kKnown[] = {
    {kRegPathSection, {kCountKey}, {kPathStem, kCheckStem, kNoVerCheckStem}},
    {kSRInfoSection,
     {kURLKey, kSRNoKey, kCountKey, kPIDKey, kPinMaxKey, kSizeMaxKey, kStallSecondsKey, kDownloadSecondsKey,
      kSilentArgsKey, kArgsKey, kSignerKey},
     {kInfoStem, kPinStem, kSizeStem}},
};

const KnownKeys* knownFor(const std::string& section)
{
    for (const KnownKeys& k : kKnown)
        if (equalNoCaseAscii(section, k.section))
            return &k;
    return nullptr;
}

bool allDigits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The index of an indexed key "stem%d" as the program forms it (decimal, no
// leading zeros, at most four digits here), or -1.
int indexOf(const std::string& name, const std::string& stem)
{
    if (name.size() <= stem.size() || !equalNoCaseAscii(name.substr(0, stem.size()), stem))
        return -1;
    std::string digits = name.substr(stem.size());
    if (!allDigits(digits) || (digits.size() > 1 && digits[0] == '0') || digits.size() > 4)
        return -1;
    return std::stoi(digits);
}

bool isKnown(const KnownKeys& k, const std::string& name)
{
    for (const std::string& p : k.plain)
        if (equalNoCaseAscii(name, p))
            return true;
    for (const std::string& s : k.indexed)
        if (indexOf(name, s) >= 0)
            return true;
    return false;
}

// The known key nearest to name (a typo), or "".
std::string nearestKey(const KnownKeys& k, const std::string& name)
{
    std::string digits = name.substr(name.find_last_not_of("0123456789") + 1);
    std::vector<std::string> candidates = k.plain;
    for (const std::string& s : k.indexed)
        candidates.push_back(s + (digits.empty() || digits.size() > 4 ? "0" : std::to_string(std::stoi(digits))));
    std::string best;
    std::size_t bestDistance = 3;
    for (const std::string& c : candidates) {
        std::size_t d = editDistance(asciiFolded(name), asciiFolded(c));
        std::size_t allowed = c.size() <= 4 ? 1 : 2;
        if (d <= allowed && d < bestDistance) {
            best = c;
            bestDistance = d;
        }
    }
    return best;
}

} // namespace

std::string requestHazard(const std::string& text, bool srNo)
{
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F)
            return "a control character";
        if (c == ' ')
            return "a space (sent escaped, or cut)";
        if (c == '\\')
            return "a backslash (read as \"/\")";
        if (c == '/' && srNo)
            return "a \"/\" (a folder of its own)";
        if (c == '#')
            return "\"#\" (what follows is never sent)";
        if (c == '?')
            return "\"?\" (what follows is a query)";
        if (c == '%')
            return "\"%\" (an escape the server decodes)";
    }
    if (srNo ? text.find("..") != std::string::npos
             : ("/" + text + "/").find("/../") != std::string::npos ||
                   ("/" + text + "/").find("/./") != std::string::npos)
        return "a dot segment (a step up or aside)";
    return std::string();
}

namespace {

bool isDotSegment(const std::string& segment, bool twoDots)
{
    std::string f = asciiFolded(segment);
    return twoDots ? f == ".." || f == ".%2e" || f == "%2e." || f == "%2e%2e" : f == "." || f == "%2e";
}

// The URL a client that reads URLs as browsers do requests for url: "\" as
// "/", the fragment dropped, "." and ".." segments of the path resolved.
std::string requestedUrl(std::string url)
{
    std::size_t hash = url.find('#');
    if (hash != std::string::npos)
        url.resize(hash);
    std::size_t query = url.find('?');
    std::string tail = query == std::string::npos ? std::string() : url.substr(query);
    url.resize(query == std::string::npos ? url.size() : query);
    std::replace(url.begin(), url.end(), '\\', '/');
    std::size_t scheme = url.find("://");
    std::size_t pathAt = url.find('/', scheme == std::string::npos ? 0 : scheme + 3);
    if (pathAt == std::string::npos)
        return url + tail;
    std::vector<std::string> segments;
    std::size_t pos = pathAt + 1;
    for (bool more = true; more;) {
        std::size_t slash = url.find('/', pos);
        more = slash != std::string::npos;
        std::string segment = url.substr(pos, more ? slash - pos : std::string::npos);
        pos = slash + 1;
        if (isDotSegment(segment, true)) {
            if (!segments.empty())
                segments.pop_back();
            if (!more)
                segments.push_back(std::string());
        } else if (isDotSegment(segment, false)) {
            if (!more)
                segments.push_back(std::string());
        } else {
            segments.push_back(segment);
        }
    }
    std::string path;
    for (const std::string& segment : segments)
        path += "/" + segment;
    return url.substr(0, pathAt) + (path.empty() ? "/" : path) + tail;
}

} // namespace

void Linter::add(const char* code, LintSeverity s, int line, const std::string& message, const std::string& fix)
{
    Folded& f = m_folded[code];
    if (f.shown >= kLintShownPerCode)
        return fold(code, s, line, 1, fix);
    ++f.shown;
    out.push_back(LintFinding{code, s, line, message, fix});
}

bool Linter::shows(const char* code) const
{
    auto f = m_folded.find(code);
    return f == m_folded.end() || f->second.shown < kLintShownPerCode;
}

void Linter::fold(const char* code, LintSeverity s, int line, std::size_t n, const std::string& fix)
{
    Folded& f = m_folded[code];
    if (f.hidden == 0 || line < f.first)
        f.first = line;
    if (f.hidden == 0 || line > f.last)
        f.last = line;
    f.hidden += n;
    f.severity = s;
    if (f.fix.empty())
        f.fix = fix;
}

void Linter::summarize()
{
    for (const auto& [code, f] : m_folded) {
        if (f.hidden == 0)
            continue;
        std::string lines = f.first == f.last ? "line " + std::to_string(f.first)
                                              : "lines " + std::to_string(f.first) + " to " + std::to_string(f.last);
        out.push_back(LintFinding{code, f.severity, f.first > 0 ? f.first : 0,
                                  std::to_string(f.hidden) + " more " + code + " finding(s) like the ones above, on " +
                                      lines + " (not listed one by one)",
                                  f.fix});
    }
}

int Linter::lineOf(const char* section, const std::string& key) const
{
    const PatchKey* k = file.find(section, key);
    return k ? k->nLine : 0;
}

void Linter::structure()
{
    for (int line : file.unclosed())
        add("unclosed-section", kLintError, line,
            "a section line without its closing \"]\": the program reads it as an ordinary line, and what follows "
            "belongs to the section before",
            "close the bracket");
    for (const PatchKey& k : file.loose())
        add("key-outside-section", kLintWarning, k.nLine,
            k.name + " stands before any section: the program never reads it", "move it into [RegPath] or [SRInfo]");
    std::map<std::string, int> seen; // folded name -> line of its first section
    for (const CPatchFile::Section& s : file.sections()) {
        std::string folded = asciiFolded(s.name);
        auto first = seen.emplace(folded, s.nLine);
        if (!first.second) {
            add("duplicate-section", kLintWarning, s.nLine,
                "[" + s.name + "] again: the program reads only the first one (line " +
                    std::to_string(first.first->second) + ") and ignores every key here",
                "merge the two sections");
            continue;
        }
        if (!knownFor(s.name)) {
            std::string near;
            for (const KnownKeys& k : kKnown)
                if (editDistance(folded, asciiFolded(k.section)) <= 2)
                    near = k.section;
            add("unknown-section", near.empty() ? kLintWarning : kLintError, s.nLine,
                "[" + s.name + "] is not read by the program", near.empty() ? "remove it" : "rename it [" + near + "]");
            continue;
        }
        keysOf(s);
    }
    for (const KnownKeys& k : kKnown)
        if (!file.hasSection(k.section))
            add("missing-section", kLintError, 0,
                std::string("no [") + k.section + "] section: " +
                    (std::string(k.section) == kRegPathSection
                         ? "no products, every machine gets a product error"
                         : "no SR number, every machine counts as already patched"),
                std::string("add the [") + k.section + "] section");
}

void Linter::keysOf(const CPatchFile::Section& section)
{
    const KnownKeys& known = *knownFor(section.name);
    const KnownKeys& other = kKnown[&known == &kKnown[0] ? 1 : 0];
    std::map<std::string, int> firsts; // folded name -> line of its first key
    for (const PatchKey& k : section.keys) {
        auto same = firsts.emplace(asciiFolded(k.name), k.nLine);
        if (!same.second) {
            add("duplicate-key", kLintWarning, k.nLine,
                k.name + " given again: the program reads the first one (line " + std::to_string(same.first->second) +
                    ")",
                "remove one of them");
            continue;
        }
        if (isKnown(known, k.name)) {
            if (!k.bHasValue)
                add("key-without-value", kLintError, k.nLine, k.name + " has no \"=\": the program reads it as missing",
                    "write " + k.name + "=VALUE");
            else if (k.value.size() >= kMaxText && indexOf(k.name, kInfoStem) < 0) // Info: see info-cut
                add("value-too-long", kLintError, k.nLine,
                    k.name + " is " + std::to_string(k.value.size()) +
                        " characters: the program reads only the first " + std::to_string(kMaxText - 1),
                    "shorten it");
            continue;
        }
        if (isKnown(other, k.name) && !equalNoCaseAscii(k.name, kCountKey)) {
            add("key-wrong-section", kLintError, k.nLine,
                k.name + " is read from [" + other.section + "], not from [" + section.name + "]",
                "move it to [" + std::string(other.section) + "]");
            continue;
        }
        std::string near = nearestKey(known, k.name);
        if (!near.empty())
            add("misspelled-key", kLintError, k.nLine, k.name + " is not a key the program reads (ignored)",
                "rename it to " + near);
        else
            add("unknown-key", kLintWarning, k.nLine, k.name + " is not a key the program reads (ignored)",
                "remove it, or check its spelling");
    }
}

// The count the program reads, with findings for an unusable one.
int Linter::count(const char* section)
{
    const PatchKey* k = file.find(section, kCountKey);
    bool products = std::string(section) == kRegPathSection;
    if (!k || !k->bHasValue) {
        if (products && file.hasSection(section))
            add("count-missing", kLintError, 0,
                "[RegPath] has no Count: no products, every machine gets a product error",
                "add Count=N, the number of products");
        return 0;
    }
    int n = k->value.empty() ? 0 : CIniFileReader::parseInt(k->value);
    if (!allDigits(k->value) || !entryCountFits(n))
        add("count-invalid", kLintError, k->nLine,
            std::string("[") + section + "] Count \"" + k->value + "\" is not a number from 0 to " +
                std::to_string(kMaxEntryCount),
            "write the number of entries in decimal");
    else if (products && n == 0)
        add("count-invalid", kLintError, k->nLine, "[RegPath] Count is 0: every machine gets a product error",
            "write the number of products");
    return clampEntryCount(n);
}

void Linter::products(int count)
{
    for (int i = 0; i < count; ++i) {
        std::string n = std::to_string(i);
        std::string path = file.value(kRegPathSection, kPathStem + n);
        std::string check = file.value(kRegPathSection, kCheckStem + n);
        const PatchKey* nover = file.find(kRegPathSection, kNoVerCheckStem + n);
        bool exempt = nover && isExempt(nover->value.c_str());
        if (path.empty())
            add("entry-missing", kLintError, lineOf(kRegPathSection, kCountKey),
                "Count is " + std::to_string(count) + " but Path" + n + " is missing or empty: product " + n +
                    " is never found, every machine gets a product error",
                "add Path" + n + ", or lower Count");
        else if (asciiFolded(path).rfind("hkey_", 0) == 0 || asciiFolded(path).rfind("hklm\\", 0) == 0)
            add("path-form", kLintError, lineOf(kRegPathSection, kPathStem + n),
                kPathStem + n + " names the root key: the program reads below HKEY_LOCAL_MACHINE, so it is never found",
                "write the path without the root, e.g. Software\\Vendor\\Product");
        else if (path.front() == '\\' || path.back() == '\\')
            add("path-form", kLintError, lineOf(kRegPathSection, kPathStem + n),
                kPathStem + n + " begins or ends with a backslash: the key is never found", "remove the backslash");
        if (nover && nover->value != "0" && nover->value != "1")
            add("noverchk-value", kLintWarning, nover->nLine,
                kNoVerCheckStem + n + " is \"" + nover->value + "\": only the value 1 exempts product " + n,
                "write 1 to exempt the product, 0 to compare its version");
        if (exempt)
            continue;
        if (check.empty())
            add("entry-missing", kLintError,
                lineOf(kRegPathSection, kCheckStem + n) ? lineOf(kRegPathSection, kCheckStem + n)
                                                        : lineOf(kRegPathSection, kCountKey),
                kCheckStem + n + " is missing or empty: product " + n +
                    " never matches, every machine gets a patch error",
                "add Check" + n + "=Name Version, or NoVerCheck" + n + "=1");
        else if (check.find(' ') == std::string::npos)
            add("check-malformed", kLintError, lineOf(kRegPathSection, kCheckStem + n),
                kCheckStem + n +
                    " has no space between name and version: it never matches, every machine gets a patch "
                    "error",
                "write the cleaned product name, one space, the version");
        else if (check.substr(0, check.find(' ')).find('&') != std::string::npos)
            add("check-malformed", kLintError, lineOf(kRegPathSection, kCheckStem + n),
                kCheckStem + n +
                    " names the product with \"&\": the program compares the cleaned name, with \"&\" as "
                    "\"_\" and no spaces",
                "write the cleaned name, e.g. Tape_Tune 2.5");
    }
}

// Indexed keys the program never reads because their index is not below Count.
void Linter::beyond(const KnownKeys& known, int count)
{
    bool products = &known == &kKnown[0];
    for (const PatchKey& k : file.keys(known.section)) {
        for (const std::string& stem : known.indexed) {
            int i = indexOf(k.name, stem);
            if (i < count || (stem == kPinStem && equalNoCaseAscii(k.name, kPinMaxKey)))
                continue;
            add("beyond-count", products ? kLintError : kLintWarning, k.nLine,
                k.name + " is beyond [" + known.section + "] Count (" + std::to_string(count) +
                    "): the program never " + (products ? "checks this product" : "uses it"),
                "raise Count to " + std::to_string(i + 1) + ", or remove " + k.name);
        }
    }
}

void Linter::patch()
{
    if (!file.hasSection(kSRInfoSection))
        return;
    const PatchKey* sr = file.find(kSRInfoSection, kSRNoKey);
    if (!sr || sr->value.empty())
        add("srno-missing", kLintError, sr ? sr->nLine : 0,
            "[SRInfo] SRNo is missing or empty: the empty SR number is in every build key, so every machine counts as "
            "already patched",
            "add SRNo=the patch's SR number");
    const PatchKey* url = file.find(kSRInfoSection, kURLKey);
    std::string u = url ? url->value : std::string();
    std::string scheme = asciiFolded(u.substr(0, u.find("://") == std::string::npos ? 0 : u.find("://") + 3));
    if (u.empty())
        add("url-missing", kLintError, url ? url->nLine : 0,
            "[SRInfo] URL is missing or empty: the program requests \"/0/SRNo.exe\", which never downloads",
            "add URL=https://server/folder");
    else if (scheme != "http://" && scheme != "https://")
        add("url-scheme", kLintError, url->nLine, "URL \"" + u + "\" does not begin with http:// or https://",
            "write the full URL with its scheme");
    else if (u.back() == '/')
        add("url-trailing-slash", kLintError, url->nLine,
            "URL ends with \"/\": the program adds one, requesting \"//\" paths that some servers refuse",
            "remove the final slash");
    if (!u.empty())
        add("max-folder-case", kLintNote, url->nLine,
            "the generic build is fetched from URL/max/, the fallback from URL/Max/: on a server whose paths are "
            "case-sensitive both must exist",
            "upload the generic build to both max/ and Max/ (or make the server ignore case)");
    requestText(url, sr);
    const PatchKey* signer = file.find(kSRInfoSection, kSignerKey);
    unsigned char digest[kSha256Size];
    int signerKind = signer ? readSignerKey(signer->value.c_str(), digest) : kSignerKeyNone;
    if (signerKind == kSignerKeyMalformed)
        add("signer-form", kLintError, signer->nLine,
            "Signer \"" + signer->value +
                "\" is neither \"package\" nor 64 hex digits: every run ends in the patch error",
            "write Signer=package, or the certificate's SHA-256 as vdrpack signer prints it");
    if (scheme == "http://" && signerKind == kSignerKeyNone) {
        bool unpinned = file.value(kSRInfoSection, kPinMaxKey).empty();
        int n = clampEntryCount(CIniFileReader::parseInt(file.value(kSRInfoSection, kCountKey)));
        for (int i = 0; i < n && !unpinned; ++i)
            unpinned = file.value(kSRInfoSection, entryKey(kPinStem, i)).empty();
        if (unpinned)
            add("http-unpinned", kLintWarning, url->nLine,
                "a plain http:// URL without a pin for every build: a changed download would be started",
                "use https://, or pin every build with vdrpack pin");
    }
}

// An SR number or URL whose characters make the run request another file
// than URL/folder/SRNo.exe: named with the URL the run would request.
void Linter::requestText(const PatchKey* url, const PatchKey* srNo)
{
    std::string u = url ? url->value : std::string();
    std::string sr = srNo ? srNo->value : std::string();
    std::size_t scheme = u.find("://");
    std::size_t pathAt = scheme == std::string::npos ? 0 : scheme + 3;
    std::string formed = u + "/max/" + sr + ".exe";
    std::vector<PlannedFetch> plan = planFetches(kPatchGeneric, u.c_str(), sr.c_str());
    if (!plan.empty() && !plan[0].url.empty())
        formed = plan[0].url;
    std::string requested = requestedUrl(formed);
    const struct {
        const PatchKey* key;
        const char* code;
        std::string hazard;
    } kChecked[] = {{url, "url-characters", url ? requestHazard(u.substr(pathAt), false) : std::string()},
                    {srNo, "srno-characters", srNo ? requestHazard(sr, true) : std::string()}};
    for (const auto& c : kChecked) {
        if (c.hazard.empty())
            continue;
        add(c.code, kLintError, c.key->nLine,
            c.key->name + " \"" + c.key->value + "\" holds " + c.hazard + ": the run requests " + requested +
                (requested == formed ? std::string(", which the server does not read as one file's path")
                                     : " instead of " + formed),
            std::string("write ") + c.key->name +
                (c.key == srNo ? " with letters, digits, \"-\", \"_\" and \".\" only"
                               : " as a plain scheme, host and path, without escapes, query or fragment"));
    }
}

// The time bounds and the patch's silent switch.
void Linter::handOff()
{
    for (const SecondsKey& b : {kStallSeconds, kDownloadSeconds}) {
        const PatchKey* k = file.find(kSRInfoSection, b.key);
        if (!k || !k->bHasValue)
            continue;
        // Read as the program's profile reader reads an integer: "120s" is 120.
        int n = k->value.empty() ? 0 : CIniFileReader::parseInt(k->value);
        if (!allDigits(k->value) || !secondsInRange(b, n))
            add("seconds-out-of-range", kLintWarning, k->nLine,
                std::string(b.key) + " \"" + k->value + "\" is not a number from " + std::to_string(b.min) + " to " +
                    std::to_string(b.max) + ": the program uses " + std::to_string(secondsUsed(b, n)),
                "write a number of seconds from " + std::to_string(b.min) + " to " + std::to_string(b.max));
    }
    if (!file.value(kSRInfoSection, kSilentArgsKey).empty())
        return;
    // A silent run passes "/s", which these installers do not take: they
    // would show their window and wait for a click.
    const struct {
        const char* hint;
        const char* name;
        const char* args;
    } kInstallers[] = {{"nsis", "NSIS", "/S"},
                       {"inno setup", "Inno Setup", "/VERYSILENT /SUPPRESSMSGBOXES /NORESTART"},
                       {"innosetup", "Inno Setup", "/VERYSILENT /SUPPRESSMSGBOXES /NORESTART"},
                       {"wix", "WiX bundle", "/quiet /norestart"}};
    std::vector<std::string> texts = file.comments();
    texts.push_back(file.value(kSRInfoSection, kSRNoKey));
    for (const auto& installer : kInstallers)
        for (const std::string& t : texts)
            if (asciiFolded(t).find(installer.hint) != std::string::npos) {
                add("silent-args-missing", kLintWarning, lineOf(kSRInfoSection, kSRNoKey),
                    std::string("the patch looks like a ") + installer.name +
                        " installer, but SilentArgs is missing: a silent run passes \"/s\", and the installer shows "
                        "its window",
                    std::string("add SilentArgs=") + installer.args);
                return;
            }
}

std::size_t editDistance(const std::string& a, const std::string& b)
{
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diag = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            std::size_t up = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diag + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diag = up;
        }
    }
    return row[b.size()];
}

std::vector<LintFinding> lintPatchFile(const std::string& bytes)
{
    std::vector<LintFinding> findings;
    std::string text = profileTextOf(bytes);
    if (peHeaderOffset(bytes, static_cast<std::int64_t>(bytes.size())) >= 0 || text.find('\0') != std::string::npos) {
        findings.push_back(LintFinding{"not-text", kLintError, 0,
                                       "the file is a program or binary data, not a patch information file",
                                       "give the patch information file (patch.ini)"});
        return findings;
    }
    CPatchFile file(text);
    Linter lint(file, findings);
    lint.structure();
    int products = lint.count(kRegPathSection);
    int builds = lint.count(kSRInfoSection);
    lint.products(products);
    lint.beyond(kKnown[0], products);
    lint.beyond(kKnown[1], builds);
    lint.patch();
    lint.handOff();
    lint.builds();
    lint.summarize();
    std::stable_sort(findings.begin(), findings.end(),
                     [](const LintFinding& a, const LintFinding& b) { return a.nLine < b.nLine; });
    return findings;
}

bool hasLintErrors(const std::vector<LintFinding>& findings)
{
    return std::any_of(findings.begin(), findings.end(), [](const LintFinding& f) { return f.severity == kLintError; });
}

const char* severityName(LintSeverity severity)
{
    return severity == kLintError ? "error" : severity == kLintWarning ? "warning" : "note";
}
