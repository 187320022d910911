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

int getProductInfo(IRegistry& registry, const char* path, char* prodName, char* prodVer, char* srNo,
                   char* srVer)
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

int getProductInfo(const char* path, char* prodName, char* prodVer, char* srNo, char* srVer)
{
    return getProductInfo(platformRegistry(), path, prodName, prodVer, srNo, srVer);
}
