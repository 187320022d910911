#pragma once
// The installed state a registry export describes, served to the product
// probe straight from the export's index (no copy of a whole machine's
// keys). Key paths and value names match without regard to ASCII case; a
// key exists when it was named or a key below it was.
//
// In the 32-bit view, when the export holds Software\WOW6432Node, that is
// what "Software" names (the 64-bit keys beside it are not seen), as the
// 32-bit program sees a 64-bit machine.

#include "RegExport.h"

#include "products/Registry.h"

class CExportRegistry : public IRegistry {
public:
    CExportRegistry(const CRegExport& reg, bool view32);
    CExportRegistry(const CExportRegistry&) = delete;
    CExportRegistry& operator=(const CExportRegistry&) = delete;

    // True when the 32-bit view's redirection applies.
    bool redirected() const { return m_bRedirect; }

    bool openKey(const char* subkey, Key& key) override;
    bool queryString(Key key, const char* name, char* buffer, unsigned size) override;
    void closeKey(Key key) override;

private:
    const CRegExport& m_reg;
    bool m_bRedirect = false;
    RegExportKey m_implied; // what an implied key holds: no values
};
