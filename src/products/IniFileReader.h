#pragma once
// Our own private-profile reader: portable code that reads an
// initialization file the way the platform's reader does for every form the
// patch information file uses. Lines, sections, keys, comments, quotes and
// byte-order marks follow products/ProfileLines.h; section and key names are
// matched without regard to ASCII case; only the first section of a name is
// searched, and the first key of a name in it counts. The file is read
// afresh on every call; nothing is cached.

#include "products/Profile.h"

#include <string>

class CIniFileReader : public IProfileReader {
public:
    // Integers follow the platform: leading white space, an optional sign,
    // an optional "0x" (hex), "0o" (octal) or "0b" (binary) prefix, then
    // digits up to the first character that is not one; no digits read as 0.
    // An empty value reads as `def`, like a missing one.
    int getInt(const char* section, const char* key, int def, const char* path) const override;
    void getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                   const char* path) const override;

    // The whole value of the key (trimmed, quotes removed, not cut); false
    // when the file, the section or the key is missing or the key has no "=".
    static bool findValue(const char* section, const char* key, const char* path, std::string& value);

    // The integer rules above applied to a text.
    static int parseInt(const std::string& text);
};
