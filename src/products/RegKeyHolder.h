#pragma once
// Owner of one open registry key: closes it (if it holds one) when it is
// destroyed, on every way out of the scope, unwinding included.

#include "products/Registry.h"

#include <utility>

class CRegKeyHolder {
public:
    // Opens `subkey` for reading; check with isOpen().
    CRegKeyHolder(IRegistry& registry, const char* subkey) : m_registry(&registry)
    {
        m_bOpen = registry.openKey(subkey, m_key);
    }
    ~CRegKeyHolder() { close(); }
    CRegKeyHolder(const CRegKeyHolder&) = delete;
    CRegKeyHolder& operator=(const CRegKeyHolder&) = delete;
    CRegKeyHolder(CRegKeyHolder&& o) noexcept
        : m_registry(o.m_registry), m_key(o.m_key), m_bOpen(std::exchange(o.m_bOpen, false))
    {
    }
    CRegKeyHolder& operator=(CRegKeyHolder&&) = delete;

    bool isOpen() const { return m_bOpen; }

    // See IRegistry::queryString; false when no key is held.
    bool queryString(const char* name, char* buffer, unsigned size)
    {
        return m_bOpen && m_registry->queryString(m_key, name, buffer, size);
    }

    // Closes the key now, if one is held, and forgets it.
    void close()
    {
        if (m_bOpen) {
            m_bOpen = false;
            m_registry->closeKey(m_key);
        }
    }

private:
    IRegistry* m_registry;
    IRegistry::Key m_key = nullptr;
    bool m_bOpen = false;
};
