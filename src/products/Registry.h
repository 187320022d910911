#pragma once
// Read access to string values under the local-machine registry root, the
// one platform service the product probe needs. On Windows the platform's
// registry serves it (Registry_win.cpp); CTableRegistry serves it from a
// table of key paths and values.

class IRegistry {
public:
    // An open key; meaningful only to the registry that opened it.
    typedef void* Key;

    virtual ~IRegistry() = default;

    // Opens `subkey` (a path below the local-machine root, matched without
    // regard to case) for reading. Returns true and sets `key` on success.
    // Every key opened must be closed with closeKey; CRegKeyHolder does so.
    virtual bool openKey(const char* subkey, Key& key) = 0;

    // Copies the string value `name` of an open key into buffer (size > 0):
    // only when the value exists, is a string and fits with its terminator,
    // i.e. holds at most size - 1 characters. Otherwise (missing, longer,
    // stored without a terminator, not a string) the buffer stays untouched
    // and the result is false.
    virtual bool queryString(Key key, const char* name, char* buffer, unsigned size) = 0;

    virtual void closeKey(Key key) = 0;
};

// The registry of the platform this program runs on. Away from Windows it is
// an empty table: nothing is installed.
IRegistry& platformRegistry();
