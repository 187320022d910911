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
#include <cstring>
#include <set>

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

struct Linter::NamedProducts {
    struct Product {
        int index;
        std::string name; // the name part of its Check value
    };
    std::vector<Product> list;
    std::map<std::string, std::size_t> countOf;  // by name: how many products carry it
    std::map<std::string, std::size_t> byFolded; // by folded name: the first product's place in list
    bool allNamed = true;                        // a product without a Check leaves unknown names undecidable
};

struct Linter::BuildKey {
    std::string text;
    int entry;
    int nLine;
};

void Linter::builds()
{
    NamedProducts products;
    int nProducts = clampEntryCount(CIniFileReader::parseInt(file.value(kRegPathSection, kCountKey)));
    for (int i = 0; i < nProducts; ++i) {
        std::string c = file.value(kRegPathSection, entryKey(kCheckStem, i));
        if (c.empty()) {
            products.allNamed = false;
            continue;
        }
        products.list.push_back(NamedProducts::Product{i, c.substr(0, c.find(' '))});
        ++products.countOf[products.list.back().name];
        products.byFolded.emplace(asciiFolded(products.list.back().name), products.list.size() - 1);
    }
    int count = clampEntryCount(CIniFileReader::parseInt(file.value(kSRInfoSection, kCountKey)));
    std::map<std::string, int> firstWithKeys;
    std::vector<BuildKey> all;
    for (int i = 0; i < count; ++i) {
        const std::string where = entryKey(kInfoStem, i);
        int line = lineOf(kSRInfoSection, where) ? lineOf(kSRInfoSection, where) : lineOf(kSRInfoSection, kCountKey);
        entryMatches(i, line, entryKeys(i, line, products, all), products, firstWithKeys);
    }
    containedKeys(all);
    pins(count);
}

// The build keys of Info`entry` (at `line`) the program can match, each
// also added to `all`; findings for a missing entry, the already-applied index and keys
// it can never match.
std::vector<std::string> Linter::entryKeys(int entry, int line, const NamedProducts& products,
                                           std::vector<BuildKey>& all)
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
        keyNames(what, key, line, products);
    }
    return keys;
}

// A build key's form and the product it names.
void Linter::keyNames(const std::string& what, const std::string& key, int line, const NamedProducts& products)
{
    if (!isBuildKeyForm(key)) {
        add("info-malformed", kLintError, line, what + " is not a build key \"name#SR number#SR build version\"",
            "write name#SR#version keys joined by \";\"");
        return;
    }
    std::string name = key.substr(0, key.find('#'));
    if (products.countOf.count(name))
        return;
    auto caseOnly = products.byFolded.find(asciiFolded(name));
    if (caseOnly != products.byFolded.end()) {
        const NamedProducts::Product& p = products.list[caseOnly->second];
        add("info-name-case", kLintError, line,
            what + ": the name differs from Check" + std::to_string(p.index) + " (" + p.name +
                ") only in letter case; build keys match with case",
            "write " + p.name);
        return;
    }
    if (!products.allNamed || products.list.empty())
        return;
    if (!shows("info-unknown-product"))
        return fold("info-unknown-product", kLintError, line, 1, "write the name a Check value gives");
    const NamedProducts::Product* nearest = &products.list[0];
    for (const NamedProducts::Product& p : products.list)
        if (editDistance(p.name, name) < editDistance(nearest->name, name))
            nearest = &p;
    add("info-unknown-product", kLintError, line,
        what + " names no product of [RegPath] (Check" + std::to_string(nearest->index) + " names " + nearest->name +
            "): it never matches",
        "write " + nearest->name + " if that product is meant");
}

// Whether Info`entry` can ever be chosen: a key for every product, and
// not the same keys as an earlier entry.
void Linter::entryMatches(int entry, int line, const std::vector<std::string>& keys, const NamedProducts& products,
                          std::map<std::string, int>& firstWithKeys)
{
    if (keys.empty())
        return;
    std::string where = entryKey(kInfoStem, entry);
    std::set<std::string> names;
    for (const std::string& k : keys)
        names.insert(k.substr(0, k.find('#')));
    std::size_t matched = 0;
    for (const std::string& n : names) {
        auto c = products.countOf.find(n);
        matched += c == products.countOf.end() ? 0 : c->second;
    }
    std::size_t missing = products.list.size() - matched;
    for (const NamedProducts::Product& p : products.list) {
        if (missing == 0 || !shows("info-incomplete"))
            break;
        if (names.count(p.name))
            continue;
        --missing;
        add("info-incomplete", kLintError, line,
            where + " holds no build key of product " + std::to_string(p.index) + " (" + p.name +
                "): every installed product has a key, so it never matches",
            "add the " + p.name + " build key");
    }
    if (missing)
        fold("info-incomplete", kLintError, line, missing, "add the missing products' build keys");
    std::vector<std::string> sorted = keys;
    std::sort(sorted.begin(), sorted.end());
    std::string joined;
    for (const std::string& k : sorted)
        joined += k + '\n';
    auto first = firstWithKeys.emplace(joined, entry);
    if (!first.second)
        add("info-shadowed", kLintWarning, line,
            where + " holds the same build keys as Info" + std::to_string(first.first->second) +
                ", which the selection always takes first: it is never chosen",
            "remove " + where);
}

// Keys are found by plain containment: a key inside a longer key of an
// earlier entry sends its machines to that entry's build. Both have the
// form name#SR#version, so the shorter one's two '#' fall on the longer
// one's: its name ends the longer name, the SR numbers are equal and its
// version begins the longer version. Each longer key offers those
// candidates only, found by text (no comparison of every pair).
void Linter::containedKeys(const std::vector<BuildKey>& all)
{
    std::multimap<std::string, std::size_t> byText;
    for (std::size_t i = 0; i < all.size(); ++i)
        if (isBuildKeyForm(all[i].text))
            byText.emplace(all[i].text, i);
    std::vector<bool> reported(all.size(), false);
    for (const BuildKey& longer : all) {
        if (!isBuildKeyForm(longer.text))
            continue;
        std::size_t h1 = longer.text.find('#');
        std::size_t h2 = longer.text.find('#', h1 + 1);
        std::string middle = longer.text.substr(h1, h2 - h1 + 1); // "#SR#"
        for (std::size_t from = 0; from < h1; ++from) {
            for (std::size_t to = h2 + 2; to <= longer.text.size(); ++to) {
                if (from == 0 && to == longer.text.size())
                    continue;
                std::string candidate =
                    longer.text.substr(from, h1 - from) + middle + longer.text.substr(h2 + 1, to - h2 - 1);
                auto range = byText.equal_range(candidate);
                for (auto it = range.first; it != range.second; ++it) {
                    const BuildKey& shorter = all[it->second];
                    if (shorter.entry <= longer.entry || reported[it->second])
                        continue;
                    reported[it->second] = true;
                    add("key-contained", kLintError, shorter.nLine,
                        "the build key " + shorter.text + " (Info" + std::to_string(shorter.entry) +
                            ") is contained in " + longer.text + " (Info" + std::to_string(longer.entry) +
                            "): the program matches by containment and picks Info" + std::to_string(longer.entry) +
                            " for those machines",
                        "put Info" + std::to_string(shorter.entry) + " before Info" + std::to_string(longer.entry));
                }
            }
        }
    }
}

// Pins that can never pass, that no download uses, or that leave the generic build open.
void Linter::pins(int count)
{
    bool anyPin = false; // as the run counts them: SHA256Max, or SHA256%d below Count
    for (const PatchKey& k : file.keys(kSRInfoSection)) {
        if (!isFolderKey(k.name, kPinStem))
            continue;
        std::string index = asciiFolded(k.name.substr(std::strlen(kPinStem)));
        anyPin = anyPin || index == "max" || (index.size() <= 4 && std::stoi(index) < count);
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
                k.name + " is not a size in bytes from 1 to " + std::to_string(kMaxSizePin) +
                    ": the program ignores it",
                "write it with vdrpack pin");
    }
    if (anyPin && file.value(kSRInfoSection, kPinMaxKey).empty())
        add("generic-unpinned", kLintWarning, lineOf(kSRInfoSection, kSRNoKey),
            "builds are pinned but SHA256Max is not: the generic build (and the fallback) is started unchecked",
            "pin it: vdrpack pin PATCH.ini --max BUILD.exe");
}
