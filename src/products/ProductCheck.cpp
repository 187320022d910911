#include "products/ProductCheck.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/ProductProbe.h"
#include "products/TextCompare.h"

#include <cstring>

namespace {

const char kRegPath[] = "RegPath";
const char kSRInfo[] = "SRInfo";

// Key names are "Stem%d" printed into 128 characters.
typedef char KeyName[128];

void readIndexed(const IProfileReader& profile, const char* section, const char* stem, int index, const char* iniPath,
                 char* buffer)
{
    KeyName key;
    formatBounded(key, sizeof key, "%s%d", stem, index);
    profile.getString(section, key, "", buffer, kMaxText, iniPath);
}

// A build key "name#SR number#SR build version", composed in full.
struct BuildKey {
    char text[3 * kMaxText];
};

} // namespace

void buildProductList(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                      std::vector<ProductInfo>& products)
{
    const int count = profile.getInt(kRegPath, "Count", 0, iniPath);
    for (int i = 0; i < count && i < kMaxEntryCount; ++i) {
        ProductInfo info = {};
        readIndexed(profile, kRegPath, "Path", i, iniPath, info.szPath);
        readIndexed(profile, kRegPath, "Check", i, iniPath, info.szCheck);
        readIndexed(profile, kRegPath, "NoVerCheck", i, iniPath, info.szNoVerCheck);
        if (getProductInfo(registry, info.szPath, info.szProdName, info.szProdVer, info.szSRNo, info.szSRVer))
            info.bFound = 1;
        products.push_back(info);
    }
}

int judgeProducts(const std::vector<ProductInfo>& products)
{
    if (products.empty())
        return kProductsNotFound;
    int result = kProductsApplicable;
    bool missing = false;
    for (const ProductInfo& p : products) {
        if (!p.bFound) {
            missing = true;
            continue;
        }
        if (textEqualNoCase(p.szNoVerCheck, "1"))
            continue;
        char identity[2 * kMaxText];
        formatBounded(identity, sizeof identity, "%s %s", p.szProdName, p.szProdVer);
        if (!textEqualNoCase(identity, p.szCheck))
            result = kProductsMismatch;
    }
    return missing ? kProductsNotFound : result;
}

int checkProducts(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                  std::vector<ProductInfo>& products)
{
    for (const char* section : {kRegPath, kSRInfo}) {
        int count = profile.getInt(section, "Count", 0, iniPath);
        if (count < 0 || count > kMaxEntryCount) {
            traceLog("[Veldrun] checkProducts => [%s] Count %d outside 0 to 1000\n", section, count);
            return kProductsMismatch;
        }
    }
    buildProductList(profile, registry, iniPath, products);
    return judgeProducts(products);
}

int checkProducts(const char* iniPath, std::vector<ProductInfo>& products)
{
    return checkProducts(platformProfile(), platformRegistry(), iniPath, products);
}

int getSRIdFromFile(const IProfileReader& profile, const char* iniPath, const std::vector<ProductInfo>& products,
                    const char* srNo)
{
    std::vector<BuildKey> keys;
    for (const ProductInfo& p : products) {
        if (p.bFound != 1)
            continue;
        BuildKey key;
        formatBounded(key.text, sizeof key.text, "%s#%s#%s", p.szProdName, p.szSRNo, p.szSRVer);
        keys.push_back(key);
    }
    if (keys.empty())
        return kPatchGeneric;

    std::vector<int> candidates;
    const int count = profile.getInt(kSRInfo, "Count", 0, iniPath);
    for (int i = 0; i < count && i < kMaxEntryCount; ++i)
        candidates.push_back(i);

    // Each Info value is read afresh for every key it is tested against.
    for (const BuildKey& key : keys) {
        std::vector<int> kept;
        for (int i : candidates) {
            char info[kMaxText];
            readIndexed(profile, kSRInfo, "Info", i, iniPath, info);
            if (std::strstr(info, key.text))
                kept.push_back(i);
        }
        candidates.swap(kept);
        if (candidates.empty())
            break;
    }
    if (!candidates.empty())
        return candidates.front();

    for (const BuildKey& key : keys)
        if (!std::strstr(key.text, srNo ? srNo : ""))
            return kPatchGeneric;
    return kPatchAlreadyApplied;
}

int getSRIdFromFile(const char* iniPath, const std::vector<ProductInfo>& products, const char* srNo)
{
    return getSRIdFromFile(platformProfile(), iniPath, products, srNo);
}
