#pragma once
// A registry made of a table of key paths and values: the probe's registry
// away from Windows, filled by tests or by a tool from a registry export.
// Key paths are relative to the local-machine root ("Software\Ombrel\X");
// key paths and value names are matched without regard to ASCII case. Adding
// a key adds the keys above it, as in the platform's registry.

#include "products/Registry.h"

#include <map>
#include <string>

class CTableRegistry : public IRegistry {
public:
    CTableRegistry() = default;
    CTableRegistry(const CTableRegistry&) = delete;
    CTableRegistry& operator=(const CTableRegistry&) = delete;

    // Adds the key (and the keys above it) if it is not there yet.
    void addKey(const std::string& path);
    // Sets a string value, adding its key. A text longer than the reader's
    // buffer allows is kept and reads as missing.
    void setString(const std::string& path, const std::string& name, const std::string& text);
    // Sets a value of a type other than string (a number, binary data): it
    // exists but reads as missing.
    void setOther(const std::string& path, const std::string& name);
    // Removes the key with every key below it and their values.
    void removeKey(const std::string& path);

    // Keys opened and not yet closed.
    int openCount() const { return m_nOpen; }

    bool openKey(const char* subkey, Key& key) override;
    bool queryString(Key key, const char* name, char* buffer, unsigned size) override;
    void closeKey(Key key) override;

private:
    struct Value {
        bool bString;
        std::string text;
    };
    struct Entry {
        std::map<std::string, Value> values; // by folded name
    };

    Entry& entryFor(const std::string& path);

    std::map<std::string, Entry> m_keys; // by folded path
    int m_nOpen = 0;
};
