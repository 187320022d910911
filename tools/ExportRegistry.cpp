#include "ExportRegistry.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"

namespace {

const char kSoftware[] = "software";
const char kWow[] = "software\\wow6432node";

// True when the folded path is "software" or below it.
bool underSoftware(const std::string& folded)
{
    return folded.compare(0, 8, kSoftware) == 0 && (folded.size() == 8 || folded[8] == '\\');
}

} // namespace

CExportRegistry::CExportRegistry(const CRegExport& reg, bool view32) : m_reg(reg)
{
    m_bRedirect = view32 && reg.lookup(kWow) != CRegExport::kMissing;
}

bool CExportRegistry::openKey(const char* subkey, Key& key)
{
    std::string path = asciiFolded(subkey ? subkey : "");
    if (m_bRedirect && underSoftware(path))
        path = kWow + path.substr(8);
    int at = m_reg.lookup(path);
    if (at == CRegExport::kMissing)
        return false;
    key = at == CRegExport::kImplied ? &m_implied : const_cast<RegExportKey*>(&m_reg.keys()[at]);
    return true;
}

bool CExportRegistry::queryString(Key key, const char* name, char* buffer, unsigned size)
{
    if (!key || !buffer || size == 0)
        return false;
    const RegExportKey& k = *static_cast<const RegExportKey*>(key);
    const std::string wanted = name ? name : "";
    for (const RegExportValue& v : k.values) {
        if (equalNoCaseAscii(v.name, wanted))
            return v.bString && v.text.size() < size &&
                   copyBounded(buffer, size, v.text.data()); // zero-ended in the store
    }
    return false;
}

void CExportRegistry::closeKey(Key) {}
