// The [SRInfo] part of the lint: every Info entry and every build key in it
// against what the program's selection can ever match, and the pins.
#include "PatchLint.h"

#include "common/FixedBuf.h"
#include "common/Sha256.h"
#include "common/TextHelpers.h"
#include "products/IniFileReader.h"
#include "products/PatchInfoKeys.h"
#include "update/PatchPin.h"

#include <algorithm>

namespace {

// Whether name is a folder key of stem ("SHA256", "Size"): the stem followed
// by decimal digits or "Max", in any case.
bool isFolderKey(const std::string& name, const char* stem)
{
    std::string f = asciiFolded(name);
    std::string s = asciiFolded(stem);
    if (f.rfind(s, 0) != 0)
        return false;
    std::string index = f.substr(s.size());
    return index == "max" || (!index.empty() && index.find_first_not_of("0123456789") == std::string::npos);
}

} // namespace

void Linter::builds()
{
    bool allNamed = true;
    std::vector<NamedProduct> products = namedProducts(allNamed);
    int count = clampEntryCount(CIniFileReader::parseInt(file.value(kSRInfoSection, kCountKey)));
    std::vector<std::vector<std::string>> entries;
    std::vector<BuildKey> all;
    for (int i = 0; i < count; ++i) {
        const std::string where = entryKey(kInfoStem, i);
        int line = lineOf(kSRInfoSection, where) ? lineOf(kSRInfoSection, where) : lineOf(kSRInfoSection, kCountKey);
        entries.push_back(entryKeys(i, line, products, allNamed, all));
        entryMatches(i, line, entries.back(), products, entries);
    }
    containedKeys(all);
    pins();
}

// The product names the Check values give; a product without one leaves
// unknown names undecidable (allNamed false).
std::vector<Linter::NamedProduct> Linter::namedProducts(bool& allNamed) const
{
    std::vector<NamedProduct> products;
    int nProducts = clampEntryCount(CIniFileReader::parseInt(file.value(kRegPathSection, kCountKey)));
    for (int i = 0; i < nProducts; ++i) {
        std::string c = file.value(kRegPathSection, entryKey(kCheckStem, i));
        if (c.empty())
            allNamed = false;
        else
            products.push_back(NamedProduct{i, c.substr(0, c.find(' '))});
    }
    return products;
}

// The build keys of Info`entry` (at `line`) the program can match, each
// also added to `all`; findings for a missing entry, the already-applied index and keys
// it can never match.
std::vector<std::string> Linter::entryKeys(int entry, int line, const std::vector<NamedProduct>& products,
                                           bool allNamed, std::vector<BuildKey>& all)
{
    std::vector<std::string> keys;
    std::string where = entryKey(kInfoStem, entry);
    std::string value = file.value(kSRInfoSection, where);
    if (value.empty()) {
        add("info-missing", kLintWarning, line, where + " is missing or empty: it matches nothing",
            "add " + where + ", or lower Count");
        return keys;
    }
    if (entry == kAlreadyAppliedIndex)
        add("info-999", kLintError, line,
            "the selection reads the index " + std::to_string(entry) +
                " as \"already applied\": this build is never downloaded",
            "leave " + where + " empty and use another folder");
    std::size_t pos = 0;
    for (int k = 0; pos <= value.size(); ++k) {
        std::size_t sep = value.find(';', pos);
        std::size_t end = sep == std::string::npos ? value.size() : sep;
        std::string raw = value.substr(pos, end - pos);
        std::string key = trimText(raw);
        std::size_t keyEnd = pos + raw.find_last_not_of(" \t") + 1;
        pos = end + 1;
        if (key.empty())
            continue;
        std::string what = where + " key " + std::to_string(k) + " (" + key + ")";
        if (keyEnd > kMaxText - 1) {
            add("info-cut", kLintError, line,
                what + " reaches past character " + std::to_string(kMaxText - 1) +
                    ", where the program cuts the value: it never matches",
                "move the key to an entry of its own, or shorten the value");
            continue;
        }
        keys.push_back(key);
        all.push_back(BuildKey{key, entry, line});
        keyNames(what, key, line, products, allNamed);
    }
    return keys;
}

// A build key's form and the product it names.
void Linter::keyNames(const std::string& what, const std::string& key, int line,
                      const std::vector<NamedProduct>& products, bool allNamed)
{
    if (!isBuildKeyForm(key)) {
        add("info-malformed", kLintError, line, what + " is not a build key \"name#SR number#SR build version\"",
            "write name#SR#version keys joined by \";\"");
        return;
    }
    std::string name = key.substr(0, key.find('#'));
    auto same = std::find_if(products.begin(), products.end(), [&](const NamedProduct& p) { return p.name == name; });
    if (same != products.end())
        return;
    auto caseOnly = std::find_if(products.begin(), products.end(),
                                 [&](const NamedProduct& p) { return equalNoCaseAscii(p.name, name); });
    if (caseOnly != products.end()) {
        add("info-name-case", kLintError, line,
            what + ": the name differs from Check" + std::to_string(caseOnly->index) + " (" + caseOnly->name +
                ") only in letter case; build keys match with case",
            "write " + caseOnly->name);
        return;
    }
    if (!allNamed || products.empty())
        return;
    const NamedProduct* nearest = &products[0];
    for (const NamedProduct& p : products)
        if (editDistance(p.name, name) < editDistance(nearest->name, name))
            nearest = &p;
    add("info-unknown-product", kLintError, line,
        what + " names no product of [RegPath] (Check" + std::to_string(nearest->index) + " names " + nearest->name +
            "): it never matches",
        "write " + nearest->name + " if that product is meant");
}

// Whether Info`entry` can ever be chosen: a key for every product, and
// not the same keys as an earlier entry.
void Linter::entryMatches(int entry, int line, const std::vector<std::string>& keys,
                          const std::vector<NamedProduct>& products,
                          const std::vector<std::vector<std::string>>& entries)
{
    if (keys.empty())
        return;
    std::string where = entryKey(kInfoStem, entry);
    for (const NamedProduct& p : products) {
        bool has = std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
            return k.compare(0, p.name.size() + 1, p.name + "#") == 0;
        });
        if (!has)
            add("info-incomplete", kLintError, line,
                where + " holds no build key of product " + std::to_string(p.index) + " (" + p.name +
                    "): every installed product has a key, so it never matches",
                "add the " + p.name + " build key");
    }
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    for (int j = 0; j < entry; ++j) {
        std::vector<std::string> earlier = entries[static_cast<std::size_t>(j)];
        std::sort(earlier.begin(), earlier.end());
        if (earlier == sorted) {
            add("info-shadowed", kLintWarning, line,
                where + " holds the same build keys as Info" + std::to_string(j) +
                    ", which the selection always takes first: it is never chosen",
                "remove " + where);
            break;
        }
    }
}

// Keys are found by plain containment: a key inside a longer key of an
// earlier entry sends its machines to that entry's build.
void Linter::containedKeys(const std::vector<BuildKey>& all)
{
    for (const BuildKey& shorter : all) {
        for (const BuildKey& longer : all) {
            if (longer.entry >= shorter.entry || longer.text.size() <= shorter.text.size() ||
                longer.text.find(shorter.text) == std::string::npos)
                continue;
            add("key-contained", kLintError, shorter.nLine,
                "the build key " + shorter.text + " (Info" + std::to_string(shorter.entry) + ") is contained in " +
                    longer.text + " (Info" + std::to_string(longer.entry) +
                    "): the program matches by containment and picks Info" + std::to_string(longer.entry) +
                    " for those machines",
                "put Info" + std::to_string(shorter.entry) + " before Info" + std::to_string(longer.entry));
            break;
        }
    }
}

// Pins that can never pass, that no download uses, or that leave the generic build open.
void Linter::pins()
{
    bool anyPin = false;
    for (const PatchKey& k : file.keys(kSRInfoSection)) {
        if (!isFolderKey(k.name, kPinStem))
            continue;
        anyPin = true;
        unsigned char digest[kSha256Size];
        if (!sha256FromHex(k.value.c_str(), digest))
            add("pin-invalid", kLintError, k.nLine,
                k.name + " is not 64 hex digits: every download of this build would be refused",
                "write it with vdrpack pin");
    }
    for (const PatchKey& k : file.keys(kSRInfoSection)) {
        std::uint64_t size = 0;
        if (isFolderKey(k.name, kSizeStem) && !parseSizePin(k.value.c_str(), size))
            add("size-invalid", kLintError, k.nLine,
                k.name + " is not a size in bytes from 1 to 2147483648: the program ignores it",
                "write it with vdrpack pin");
    }
    if (anyPin && file.value(kSRInfoSection, kPinMaxKey).empty())
        add("generic-unpinned", kLintWarning, lineOf(kSRInfoSection, kSRNoKey),
            "builds are pinned but SHA256Max is not: the generic build (and the fallback) is started unchecked",
            "pin it: vdrpack pin PATCH.ini --max BUILD.exe");
}
