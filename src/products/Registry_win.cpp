#include "common/FixedBuf.h"
#include "products/Registry.h"

#include <windows.h>

#include <cstring>

namespace {

class CWinRegistry : public IRegistry {
public:
    bool openKey(const char* subkey, Key& key) override
    {
        // The 32-bit view, where the products' 32-bit installers write, in
        // both builds: on 64-bit Windows the release program (32-bit) reads
        // it through Software\WOW6432Node, and the 64-bit build must read
        // the same keys.
        HKEY hKey = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ | KEY_WOW64_32KEY, &hKey) != ERROR_SUCCESS)
            return false;
        key = hKey;
        return true;
    }

    bool queryString(Key key, const char* name, char* buffer, unsigned size) override
    {
        if (!buffer || size == 0)
            return false;
        // The value goes to a buffer of our own first: on ERROR_MORE_DATA the
        // platform may leave anything in the buffer it was given.
        char value[kMaxText];
        DWORD cb = size < sizeof value ? size : sizeof value;
        DWORD type = REG_NONE;
        LONG rc = RegQueryValueExA(static_cast<HKEY>(key), name, nullptr, &type, reinterpret_cast<BYTE*>(value), &cb);
        if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ))
            return false;
        // The size counts the terminator when the value was stored with one;
        // the platform may add one behind a value stored without it, but
        // does not count it.
        if (cb == 0 || value[cb - 1] != '\0')
            return false;
        std::memcpy(buffer, value, cb);
        return true;
    }

    void closeKey(Key key) override { RegCloseKey(static_cast<HKEY>(key)); }
};

} // namespace

IRegistry& platformRegistry()
{
    static CWinRegistry registry;
    return registry;
}
