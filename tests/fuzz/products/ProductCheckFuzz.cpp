// The patch information reader, the product check and the build selection
// over a table registry, on any patch information file and installed state.
// Input: the file's bytes, a zero byte, then the registry as lines of
// "key path", "key path<TAB>value name" (a value that is not a string) or
// "key path<TAB>value name<TAB>text".
//
// Checked: every key opened is closed, one record per [RegPath] entry, the
// results are among the documented ones, and a chosen folder's Info value
// holds the build key of every product found.
#include "FuzzFiles.h"

#include "common/Trace.h"
#include "products/IniFileReader.h"
#include "products/ProductCheck.h"
#include "products/TableRegistry.h"

#include <cstdint>
#include <cstring>

namespace {

// The loops run once per entry and read the file afresh each time; a count
// in the millions only makes an input slow, so such inputs are left out.
constexpr int kMaxCount = 64;

void fillRegistry(const std::string& text, CTableRegistry& registry)
{
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        const std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        const std::size_t tab1 = line.find('\t');
        if (tab1 == std::string::npos) {
            registry.addKey(line);
            continue;
        }
        const std::size_t tab2 = line.find('\t', tab1 + 1);
        if (tab2 == std::string::npos)
            registry.setOther(line.substr(0, tab1), line.substr(tab1 + 1));
        else
            registry.setString(line.substr(0, tab1), line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TempDir dir;
    static const std::string ini = dir.file("patch.ini");
    const std::string input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.find('\0');
    writeFile(ini, input.substr(0, split));
    CTableRegistry registry;
    if (split != std::string::npos)
        fillRegistry(input.substr(split + 1), registry);

    const CIniFileReader reader;
    const int entries = reader.getInt("RegPath", "Count", 0, ini.c_str());
    const int builds = reader.getInt("SRInfo", "Count", 0, ini.c_str());
    if (entries > kMaxCount || builds > kMaxCount)
        return 0;

    std::vector<ProductInfo> products;
    const int check = checkProducts(reader, registry, ini.c_str(), products);
    FUZZ_CHECK(registry.openCount() == 0);
    FUZZ_CHECK(products.size() == static_cast<std::size_t>(entries > 0 ? entries : 0));
    FUZZ_CHECK(check == kProductsApplicable || check == kProductsMismatch || check == kProductsNotFound);
    bool allFound = !products.empty();
    for (const ProductInfo& p : products) {
        FUZZ_CHECK(p.bFound == 0 || p.bFound == 1);
        FUZZ_CHECK(std::strlen(p.szProdName) < kMaxText && std::strlen(p.szCheck) < kMaxText);
        allFound = allFound && p.bFound;
    }
    FUZZ_CHECK((check == kProductsNotFound) == !allFound);

    char srNo[kMaxText];
    reader.getString("SRInfo", "SRNo", "", srNo, sizeof srNo, ini.c_str());
    const int id = getSRIdFromFile(reader, ini.c_str(), products, srNo);
    FUZZ_CHECK(id == kPatchGeneric || id == kPatchAlreadyApplied || (id >= 0 && id < builds));
    if (id >= 0 && id < builds) {
        char key[32];
        std::snprintf(key, sizeof key, "Info%d", id);
        char info[kMaxText];
        reader.getString("SRInfo", key, "", info, sizeof info, ini.c_str());
        for (const ProductInfo& p : products) {
            if (!p.bFound)
                continue;
            const std::string buildKey = std::string(p.szProdName) + "#" + p.szSRNo + "#" + p.szSRVer;
            FUZZ_CHECK(std::strstr(info, buildKey.c_str()) != nullptr);
        }
    }
    traceClear();
    return 0;
}
