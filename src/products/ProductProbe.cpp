#include "products/ProductProbe.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/RegKeyHolder.h"

void cleanProductName(char* name)
{
    char* out = name;
    for (const char* in = name; *in; ++in) {
        if (*in == ' ')
            continue;
        *out++ = *in == '&' ? '_' : *in;
    }
    *out = '\0';
}

int getProductInfo(IRegistry& registry, const char* path, char* prodName, char* prodVer, char* srNo, char* srVer)
{
    // A key path of up to 259 characters and the longer suffix, in full.
    char subkey[kMaxText + sizeof "\\BuildInfo"];

    formatBounded(subkey, sizeof subkey, "%s\\UserReg", path);
    CRegKeyHolder userReg(registry, subkey);
    if (!userReg.isOpen())
        return 0;
    userReg.queryString("Prod_Name", prodName, kMaxText);
    cleanProductName(prodName);
    userReg.queryString("Prod_Ver", prodVer, kMaxText);
    userReg.close();

    formatBounded(subkey, sizeof subkey, "%s\\BuildInfo", path);
    CRegKeyHolder buildInfo(registry, subkey);
    if (!buildInfo.isOpen())
        return 0;
    buildInfo.queryString("SR_No", srNo, kMaxText);
    buildInfo.queryString("SR_Ver", srVer, kMaxText);
    buildInfo.close();

    const int found = prodName[0] && prodVer[0] && srNo[0] && srVer[0] ? 1 : 0;
    traceLog("[Veldrun] getProductInfo => \nPath: %s\n, ProdName: %s\n, ProdVer: %s\n, SRNo: %s\n, SRVer: %s\n", path,
             prodName, prodVer, srNo, srVer);
    return found;
}

std::string describeProductGap(IRegistry& registry, const char* path)
{
    std::string gaps;
    auto add = [&gaps](const std::string& gap) { gaps += (gaps.empty() ? "" : ", ") + gap; };
    const char* const subkeys[] = {"UserReg", "BuildInfo"};
    const char* const values[2][2] = {{"Prod_Name", "Prod_Ver"}, {"SR_No", "SR_Ver"}};
    for (int k = 0; k < 2; ++k) {
        const std::string subkey = std::string(path ? path : "") + '\\' + subkeys[k];
        CRegKeyHolder key(registry, subkey.c_str());
        if (!key.isOpen()) {
            add("no key " + subkey);
            continue;
        }
        for (const char* value : values[k]) {
            char text[kMaxText] = {};
            key.queryString(value, text, sizeof text);
            if (k == 0 && value == values[0][0])
                cleanProductName(text); // a name of blanks alone is no name
            if (!text[0])
                add(std::string(subkeys[k]) + '\\' + value + " missing or empty");
        }
    }
    return gaps;
}

int getProductInfo(const char* path, char* prodName, char* prodVer, char* srNo, char* srVer)
{
    return getProductInfo(platformRegistry(), path, prodName, prodVer, srNo, srVer);
}
