#pragma once
// A registry export file, the text a registry editor writes ("Windows
// Registry Editor Version 5.00" in UTF-16LE with a byte-order mark, or
// "REGEDIT4" in the ANSI code page), read into a list of keys and values
// under the local-machine root. It stands for the installed state of a
// machine when the release tool runs the product check away from it.
//
//  - "[HKEY_LOCAL_MACHINE\path]" (or "HKLM\path") opens a key; the keys
//    above it exist too. "[-HKEY_LOCAL_MACHINE\path]" removes the key and
//    everything below it from what was read so far.
//  - Keys under any other root are left out and listed in warnings(); their
//    values are skipped.
//  - "name"="text" sets a string value: "\\" and "\"" inside the quotes
//    stand for a backslash and a quote. "@" names the default value.
//  - hex(1): and hex(2): values (REG_SZ, REG_EXPAND_SZ) are strings too:
//    their bytes are UTF-16LE text in a UTF-16 file, ANSI text in an ANSI
//    one (as the registry editor imports them), and count only when they
//    end in the terminator; the program reads an expandable string as it
//    is, unexpanded.
//  - dword:, hex: and other hex(n): values exist but are not strings, so
//    the program reads them as missing. "name"=- removes a value.
//  - Lines ending in "\" continue on the next line (long hex values).
//    Lines beginning with ";" are comments.
// UTF-16 text is turned into Windows-1252 bytes, the code page the
// program's narrow reads would give on a Western system; a character
// outside it becomes "?".

#include <string>
#include <vector>

enum RegExportResult {
    kRegExportOk = 0,
    kRegExportNoHeader = 1,  // the first line is not an export header
    kRegExportMalformed = 2, // a line that is none of the forms above; see error()
};

struct RegExportValue {
    std::string name; // as written ("" for the default value)
    bool bString;     // false for dword and hex values
    std::string text; // the string's bytes
};

struct RegExportKey {
    std::string path; // below the local-machine root, as first written
    std::vector<RegExportValue> values;
};

class CRegExport {
public:
    // Parses a whole file's bytes, replacing what was read before.
    int parse(const std::string& bytes);

    // Keys in the order they were first named; keys above them that were
    // never named themselves are not listed.
    const std::vector<RegExportKey>& keys() const { return m_keys; }
    // "line N: ..." for each key left out.
    const std::vector<std::string>& warnings() const { return m_warnings; }
    // "line N: ..." for the line that made parse fail.
    const std::string& error() const { return m_error; }

    // The export's text as narrow Windows-1252 bytes, without byte-order
    // mark (exposed for tests).
    static std::string decode(const std::string& bytes);

private:
    RegExportKey* keyFor(const std::string& path);
    void removeKey(const std::string& path);
    int fail(int line, const std::string& what);
    int parseValue(int line, const std::string& text, RegExportKey* key);
    bool stringFromData(const std::string& data, std::string& text) const;

    std::vector<RegExportKey> m_keys;
    std::vector<std::string> m_warnings;
    std::string m_error;
    bool m_bUnicode = false; // the file is UTF-16: hex string data is UTF-16LE
};
