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

namespace {

const char* const kSubkeys[2] = {"UserReg", "BuildInfo"};
const char* const kValues[2][2] = {{"Prod_Name", "Prod_Ver"}, {"SR_No", "SR_Ver"}};

void addGap(std::string* gaps, const std::string& gap)
{
    if (gaps)
        *gaps += (gaps->empty() ? "" : ", ") + gap;
}

// Reads the two values of subkey `k` below `path` (the product name
// cleaned); what it lacks goes to *gaps. False when it does not open.
bool readSubkey(IRegistry& registry, const char* path, int k, char* first, char* second, std::string* gaps)
{
    // A key path of up to 259 characters and the longer suffix, in full.
    char subkey[kMaxText + sizeof "\\BuildInfo"];
    formatBounded(subkey, sizeof subkey, "%s\\%s", path ? path : "", kSubkeys[k]);
    CRegKeyHolder key(registry, subkey);
    if (!key.isOpen()) {
        addGap(gaps, std::string("no key ") + subkey);
        return false;
    }
    key.queryString(kValues[k][0], first, kMaxText);
    if (k == 0)
        cleanProductName(first); // a name of blanks alone is no name
    key.queryString(kValues[k][1], second, kMaxText);
    key.close();
    if (!first[0])
        addGap(gaps, std::string(kSubkeys[k]) + '\\' + kValues[k][0] + " missing or empty");
    if (!second[0])
        addGap(gaps, std::string(kSubkeys[k]) + '\\' + kValues[k][1] + " missing or empty");
    return true;
}

} // namespace

int getProductInfo(IRegistry& registry, const char* path, char* prodName, char* prodVer, char* srNo, char* srVer,
                   std::string* gaps)
{
    if (!readSubkey(registry, path, 0, prodName, prodVer, gaps)) {
        // The reasons name the other subkey as well; the caller's buffers stay as they were.
        if (gaps) {
            char no[kMaxText] = {};
            char ver[kMaxText] = {};
            readSubkey(registry, path, 1, no, ver, gaps);
        }
        return 0;
    }
    if (!readSubkey(registry, path, 1, srNo, srVer, gaps))
        return 0;

    const int found = prodName[0] && prodVer[0] && srNo[0] && srVer[0] ? 1 : 0;
    traceLog("[Veldrun] getProductInfo => \nPath: %s\n, ProdName: %s\n, ProdVer: %s\n, SRNo: %s\n, SRVer: %s\n", path,
             prodName, prodVer, srNo, srVer);
    return found;
}

int getProductInfo(const char* path, char* prodName, char* prodVer, char* srNo, char* srVer)
{
    return getProductInfo(platformRegistry(), path, prodName, prodVer, srNo, srVer);
}
