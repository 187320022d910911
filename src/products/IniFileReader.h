#pragma once
// Our own private-profile reader: portable code that reads an
// initialization file the way the platform's reader does for every form the
// patch information file uses.
//
//  - Lines end at "\n" or "\r". A line is trimmed of white space (space,
//    tab, "\v", "\f" and the DOS end-of-file byte 0x1A) at both ends.
//  - "[name]" starts a section; the name is what lies between "[" and the
//    last "]", trimmed. Only the first section of a name is searched.
//  - A line that begins with ";" is a comment. Any other line with "=" is a
//    key: the name before the first "=", the value after it, both trimmed.
//    A ";" inside a value is part of it. A line without "=" is a key that
//    has no value and reads as missing.
//  - Section and key names are matched without regard to ASCII case; the
//    first key of a name in the section counts.
//  - A value enclosed in a matching pair of single or double quotes loses
//    them, as with the platform's reader.
//  - The text is taken byte for byte (the system's ANSI code page). A file
//    that starts with a UTF-8 byte-order mark is read without it; one that
//    starts with a UTF-16 mark (as "Unicode" editors save) is read as UTF-16
//    with every character outside ASCII as "?".
// The file is read afresh on every call; nothing is cached.

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
