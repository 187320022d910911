#include "products/ProductCheck.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/PatchInfoKeys.h"
#include "products/ProductProbe.h"
#include "products/TextCompare.h"

#include <cstring>

namespace {

void readIndexed(const IProfileReader& profile, const char* section, const char* stem, int index, const char* iniPath,
                 char* buffer)
{
    char key[kKeyNameSize];
    entryKeyName(stem, index, key, sizeof key);
    profile.getString(section, key, "", buffer, kMaxText, iniPath);
}

} // namespace

std::string buildKeyOf(const ProductInfo& product)
{
    return buildKey(product.szProdName, product.szSRNo, product.szSRVer);
}

void buildProductList(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                      std::vector<ProductInfo>& products, ProductReasons* reasons)
{
    const int count = clampEntryCount(profile.getInt(kRegPathSection, kCountKey, 0, iniPath));
    for (int i = 0; i < count; ++i) {
        ProductInfo info = {};
        readIndexed(profile, kRegPathSection, kPathStem, i, iniPath, info.szPath);
        readIndexed(profile, kRegPathSection, kCheckStem, i, iniPath, info.szCheck);
        readIndexed(profile, kRegPathSection, kNoVerCheckStem, i, iniPath, info.szNoVerCheck);
        ProductReasons::Product why;
        if (getProductInfo(registry, info.szPath, info.szProdName, info.szProdVer, info.szSRNo, info.szSRVer,
                           reasons ? &why.gaps : nullptr))
            info.bFound = 1;
        products.push_back(info);
        if (reasons)
            reasons->products.push_back(why);
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
        if (identityDiffers(p))
            result = kProductsMismatch;
    }
    return missing ? kProductsNotFound : result;
}

bool isExempt(const char* noVerCheck)
{
    return textEqualNoCase(noVerCheck ? noVerCheck : "", "1");
}

bool identityDiffers(const ProductInfo& product, std::string* identity)
{
    if (isExempt(product.szNoVerCheck))
        return false;
    const std::string read = std::string(product.szProdName) + ' ' + product.szProdVer;
    if (identity)
        *identity = read;
    return !textEqualNoCase(read.c_str(), product.szCheck);
}

const char* countOutOfRange(const IProfileReader& profile, const char* iniPath, int* count)
{
    for (const char* section : {kRegPathSection, kSRInfoSection}) {
        int value = profile.getInt(section, kCountKey, 0, iniPath);
        if (!entryCountFits(value)) {
            if (count)
                *count = value;
            return section;
        }
    }
    return nullptr;
}

int checkProducts(const IProfileReader& profile, IRegistry& registry, const char* iniPath,
                  std::vector<ProductInfo>& products, ProductReasons* reasons)
{
    int count = 0;
    if (const char* section = countOutOfRange(profile, iniPath, &count)) {
        traceLog("[Veldrun] checkProducts => [%s] Count %d outside 0 to %d\n", section, count, kMaxEntryCount);
        if (reasons) {
            reasons->countSection = section;
            reasons->count = count;
        }
        return kProductsMismatch;
    }
    const std::size_t first = products.size();
    buildProductList(profile, registry, iniPath, products, reasons);
    for (std::size_t i = first; reasons && i < products.size(); ++i) {
        std::string identity;
        if (products[i].bFound && identityDiffers(products[i], &identity))
            reasons->products[i - first].identity = identity;
    }
    return judgeProducts(products);
}

int checkProducts(const char* iniPath, std::vector<ProductInfo>& products, ProductReasons* reasons)
{
    return checkProducts(platformProfile(), platformRegistry(), iniPath, products, reasons);
}

int getSRIdFromFile(const IProfileReader& profile, const char* iniPath, const std::vector<ProductInfo>& products,
                    const char* srNo)
{
    std::vector<std::string> keys;
    for (const ProductInfo& p : products)
        if (p.bFound == 1)
            keys.push_back(buildKeyOf(p));
    if (keys.empty())
        return kPatchGeneric;

    std::vector<int> candidates;
    const int count = clampEntryCount(profile.getInt(kSRInfoSection, kCountKey, 0, iniPath));
    for (int i = 0; i < count; ++i)
        candidates.push_back(i);

    // Each Info value is read afresh for every key it is tested against.
    for (const std::string& key : keys) {
        std::vector<int> kept;
        for (int i : candidates) {
            char info[kMaxText];
            readIndexed(profile, kSRInfoSection, kInfoStem, i, iniPath, info);
            if (std::strstr(info, key.c_str()))
                kept.push_back(i);
        }
        candidates.swap(kept);
        if (candidates.empty())
            break;
    }
    if (!candidates.empty())
        return candidates.front();

    for (const std::string& key : keys)
        if (key.find(srNo ? srNo : "") == std::string::npos)
            return kPatchGeneric;
    return kPatchAlreadyApplied;
}

int getSRIdFromFile(const char* iniPath, const std::vector<ProductInfo>& products, const char* srNo)
{
    return getSRIdFromFile(platformProfile(), iniPath, products, srNo);
}
