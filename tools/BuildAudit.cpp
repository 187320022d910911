#include "BuildAudit.h"

#include "common/FixedBuf.h"
#include "products/IniFileReader.h"
#include "update/PatchPin.h"

#include <algorithm>
#include <cstdio>

namespace {

std::string fold(std::string s)
{
    for (char& c : s) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return s;
}

std::string trim(const std::string& s)
{
    std::size_t b = s.find_first_not_of(" \t");
    if (b == std::string::npos)
        return std::string();
    return s.substr(b, s.find_last_not_of(" \t") - b + 1);
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

std::string indexed(const char* stem, int i)
{
    char key[128];
    formatBounded(key, sizeof key, "%s%d", stem, i);
    return key;
}

struct Product {
    int index;
    std::string name; // the name part of its Check value
};

} // namespace

std::vector<BuildFinding> auditBuilds(const IProfileReader& profile, const char* iniPath)
{
    std::vector<BuildFinding> findings;
    auto report = [&](const std::string& where, const std::string& problem) {
        findings.push_back(BuildFinding{where, problem});
    };

    // The product names the Check values give; a product without one
    // leaves unknown names undecidable.
    std::vector<Product> products;
    bool allNamed = true;
    int nProducts = profile.getInt("RegPath", "Count", 0, iniPath);
    for (int i = 0; i < nProducts; ++i) {
        char check[kMaxText] = {};
        profile.getString("RegPath", indexed("Check", i).c_str(), "", check, sizeof check, iniPath);
        std::string c = check;
        if (c.empty()) {
            allNamed = false;
            continue;
        }
        products.push_back(Product{i, c.substr(0, c.find(' '))});
    }

    int count = profile.getInt("SRInfo", "Count", 0, iniPath);
    std::vector<std::vector<std::string>> entries;
    for (int i = 0; i < count; ++i) {
        std::string where = indexed("Info", i);
        std::string value;
        entries.emplace_back();
        if (!CIniFileReader::findValue("SRInfo", where.c_str(), iniPath, value) || value.empty()) {
            report(where, "missing or empty: matches nothing");
            continue;
        }
        if (i == 999)
            report(where, "index 999 reads as already applied: this build is never downloaded");
        std::vector<std::string>& keys = entries.back();
        std::size_t pos = 0;
        for (int k = 0; pos <= value.size(); ++k) {
            std::size_t sep = value.find(';', pos);
            std::size_t end = sep == std::string::npos ? value.size() : sep;
            std::string raw = value.substr(pos, end - pos);
            std::string key = trim(raw);
            std::size_t keyEnd = pos + raw.find_last_not_of(" \t") + 1;
            pos = end + 1;
            if (key.empty())
                continue;
            std::string kw = where + " key " + std::to_string(k) + " (" + key + ")";
            if (keyEnd > kMaxText - 1) {
                report(kw, "reaches past character " + std::to_string(kMaxText - 1) +
                               ", where the program cuts the value: never matches");
                continue;
            }
            keys.push_back(key);
            std::size_t h1 = key.find('#');
            std::size_t h2 = h1 == std::string::npos ? h1 : key.find('#', h1 + 1);
            if (h1 == 0 || h2 == std::string::npos || h2 == h1 + 1 || h2 + 1 >= key.size() ||
                key.find('#', h2 + 1) != std::string::npos) {
                report(kw, "is not a build key \"name#SR number#SR build version\"");
                continue;
            }
            std::string name = key.substr(0, h1);
            auto same =
                std::find_if(products.begin(), products.end(), [&](const Product& p) { return p.name == name; });
            if (same != products.end())
                continue;
            auto caseOnly = std::find_if(products.begin(), products.end(),
                                         [&](const Product& p) { return fold(p.name) == fold(name); });
            if (caseOnly != products.end()) {
                report(kw, "name differs from Check" + std::to_string(caseOnly->index) + " (" + caseOnly->name +
                               ") only in letter case; build keys match with case");
                continue;
            }
            if (!allNamed || products.empty())
                continue;
            const Product* nearest = &products[0];
            for (const Product& p : products) {
                if (editDistance(p.name, name) < editDistance(nearest->name, name))
                    nearest = &p;
            }
            report(kw, "names no product of [RegPath] (Check" + std::to_string(nearest->index) + " names " +
                           nearest->name + "): never matches");
        }
        if (keys.empty())
            continue;
        for (const Product& p : products) {
            bool has = std::any_of(keys.begin(), keys.end(), [&](const std::string& k) {
                return k.compare(0, p.name.size() + 1, p.name + "#") == 0;
            });
            if (!has)
                report(where, "holds no build key of product " + std::to_string(p.index) + " (" + p.name +
                                  "): never matches, every installed product needs its key");
        }
        std::vector<std::string> sorted = keys;
        std::sort(sorted.begin(), sorted.end());
        for (int j = 0; j < i; ++j) {
            std::vector<std::string> earlier = entries[static_cast<std::size_t>(j)];
            std::sort(earlier.begin(), earlier.end());
            if (earlier == sorted) {
                report(where, "holds the same build keys as Info" + std::to_string(j) +
                                  ", which the selection always takes first: never chosen");
                break;
            }
        }
    }

    // Pins that are present but can never pass.
    for (int i = -1; i < count; ++i) {
        char key[kPinKeySize];
        pinKeyName(i < 0 ? kPinFolderMax : i, key, sizeof key);
        char pin[kMaxText] = {};
        profile.getString("SRInfo", key, "", pin, sizeof pin, iniPath);
        unsigned char digest[kSha256Size];
        if (pin[0] && !sha256FromHex(pin, digest))
            report(key, "is not 64 hex digits: every download of this build would be refused");
    }
    return findings;
}
