#pragma once
// CHeldProfileReader: a patch information file read once, from bytes the
// caller already holds (the run: the bytes it extracted), never from a file
// by name. The path every IProfileReader call carries is not looked at: a
// name could lead somewhere else by the time it is read. The bytes are
// scanned once; every read follows the same rules as CIniFileReader (which
// reads through this class), so the run finds what the platform's reader
// and vdrpack find. Portable.

#include "products/Profile.h"
#include "products/ProfileLines.h"

#include <string>
#include <vector>

class CHeldProfileReader : public IProfileReader {
public:
    // No file: every read gives its default, as for a missing file.
    CHeldProfileReader() : CHeldProfileReader(std::string()) {}
    // bytes: the whole file as stored (byte-order marks as ProfileLines.h says).
    explicit CHeldProfileReader(const std::string& bytes);
    // The lines point into the text: neither copied nor moved.
    CHeldProfileReader(const CHeldProfileReader&) = delete;
    CHeldProfileReader& operator=(const CHeldProfileReader&) = delete;

    int getInt(const char* section, const char* key, int def, const char* path) const override;
    void getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                   const char* path) const override;

    // The whole value of the key (trimmed, quotes removed, not cut); false
    // when the section or the key is missing or the key has no "=".
    bool findValue(const char* section, const char* key, std::string& value) const;

private:
    const std::string m_text;
    const std::vector<ProfileLine> m_lines;
    const CProfileIndex m_index;
};
