#include "RegExport.h"

#include "common/TextHelpers.h"

#include <cctype>
#include <cstddef>

namespace {

// Unicode code points of the Windows-1252 bytes 0x80 to 0x9F (0 where the
// code page leaves the byte undefined).
const unsigned short kCp1252High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char toCp1252(unsigned cp)
{
    if (cp < 0x100)
        return static_cast<char>(cp);
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == cp)
            return static_cast<char>(0x80 + i);
    }
    return '?';
}

bool startsWithNoCase(const std::string& s, const char* prefix)
{
    std::string p = prefix;
    return s.size() >= p.size() && equalNoCaseAscii(s.substr(0, p.size()), p);
}

// The bytes of a "hex:" list ("41,00,42"); false when it is not one.
bool hexBytes(const std::string& list, std::string& bytes)
{
    bytes.clear();
    std::size_t pos = 0;
    while (pos < list.size()) {
        std::size_t comma = list.find(',', pos);
        std::string item = trimText(list.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (item.size() != 2 || !std::isxdigit(static_cast<unsigned char>(item[0])) ||
            !std::isxdigit(static_cast<unsigned char>(item[1])))
            return false;
        bytes += static_cast<char>(std::stoi(item, nullptr, 16));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

// Reads a quoted text starting at s[pos] == '"', undoing "\\" and "\"".
// Sets pos past the closing quote; false when there is none.
bool readQuoted(const std::string& s, std::size_t& pos, std::string& out)
{
    out.clear();
    for (std::size_t i = pos + 1; i < s.size(); ++i) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) {
            out += s[++i];
            continue;
        }
        out += c;
    }
    return false;
}

// Splits the text into physical lines at CR LF, LF or CR.
std::vector<std::string> splitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string cur;
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(cur);
            cur.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            continue;
        }
        cur += c;
    }
    if (!cur.empty())
        lines.push_back(cur);
    return lines;
}

bool isUnder(const std::string& foldedPath, const std::string& foldedRoot)
{
    return foldedPath == foldedRoot ||
           (foldedPath.size() > foldedRoot.size() && foldedPath.compare(0, foldedRoot.size(), foldedRoot) == 0 &&
            foldedPath[foldedRoot.size()] == '\\');
}

} // namespace

std::string CRegExport::decode(const std::string& bytes)
{
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
        static_cast<unsigned char>(bytes[1]) == 0xFE) {
        std::string out;
        for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
            unsigned unit = static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit >= 0xD800 && unit <= 0xDBFF && i + 3 < bytes.size()) {
                unsigned low =
                    static_cast<unsigned char>(bytes[i + 2]) | (static_cast<unsigned char>(bytes[i + 3]) << 8);
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    i += 2;
                    out += '?'; // outside the code page in any case
                    continue;
                }
            }
            out += toCp1252(unit);
        }
        return out;
    }
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return bytes.substr(3);
    return bytes;
}

RegExportKey* CRegExport::keyFor(const std::string& path)
{
    std::string f = asciiFolded(path);
    for (RegExportKey& k : m_keys) {
        if (asciiFolded(k.path) == f)
            return &k;
    }
    m_keys.push_back(RegExportKey{path, {}});
    return &m_keys.back();
}

void CRegExport::removeKey(const std::string& path)
{
    std::string f = asciiFolded(path);
    std::vector<RegExportKey> kept;
    for (RegExportKey& k : m_keys) {
        if (!isUnder(asciiFolded(k.path), f))
            kept.push_back(std::move(k));
    }
    m_keys.swap(kept);
}

int CRegExport::fail(int line, const std::string& what)
{
    m_error = "line " + std::to_string(line) + ": " + what;
    return kRegExportMalformed;
}

int CRegExport::parseValue(int line, const std::string& text, RegExportKey* key)
{
    std::string name;
    std::size_t pos = 0;
    if (text[0] == '@') {
        pos = 1;
    } else if (!readQuoted(text, pos, name)) {
        return fail(line, "value name without closing quote");
    }
    std::string rest = trimText(text.substr(pos));
    if (rest.empty() || rest[0] != '=')
        return fail(line, "value without \"=\"");
    rest = trimText(rest.substr(1));
    if (!key)
        return kRegExportOk; // a value of a key that was left out
    std::string folded = asciiFolded(name);
    std::vector<RegExportValue>& values = key->values;
    std::size_t at = 0;
    while (at < values.size() && asciiFolded(values[at].name) != folded)
        ++at;
    if (rest == "-") {
        if (at < values.size())
            values.erase(values.begin() + static_cast<std::ptrdiff_t>(at));
        return kRegExportOk;
    }
    RegExportValue value{name, false, std::string()};
    if (!rest.empty() && rest[0] == '"') {
        std::size_t end = 0;
        if (!readQuoted(rest, end, value.text))
            return fail(line, "string value without closing quote");
        if (!trimText(rest.substr(end)).empty())
            return fail(line, "text after the closing quote");
        value.bString = true;
    } else if (startsWithNoCase(rest, "hex(1):") || startsWithNoCase(rest, "hex(2):")) {
        // REG_SZ and REG_EXPAND_SZ written as bytes: UTF-16LE in a UTF-16
        // file (as regedit /e writes), ANSI bytes in an ANSI one, which is
        // how the registry editor imports them. The program reads both
        // kinds (unexpanded), when the data ends in its terminator.
        std::string data;
        if (!hexBytes(rest.substr(7), data))
            return fail(line, "hex value that is not a list of two-digit hex bytes");
        value.bString = stringFromData(data, value.text);
    } else if (!startsWithNoCase(rest, "dword:") && !startsWithNoCase(rest, "hex:") &&
               !startsWithNoCase(rest, "hex(")) {
        return fail(line, "value is not a string, dword or hex value");
    }
    if (at < values.size()) {
        value.name = values[at].name; // the registry keeps a value's first spelling
        values[at] = value;
    } else
        values.push_back(value);
    return kRegExportOk;
}

bool CRegExport::stringFromData(const std::string& data, std::string& text) const
{
    text.clear();
    std::size_t unit = m_bUnicode ? 2 : 1;
    if (data.size() < unit || data.size() % unit != 0 ||
        data.compare(data.size() - unit, unit, std::string(unit, '\0')) != 0)
        return false;
    for (std::size_t i = 0; i < data.size(); i += unit) {
        unsigned cp = static_cast<unsigned char>(data[i]);
        if (m_bUnicode)
            cp |= static_cast<unsigned>(static_cast<unsigned char>(data[i + 1])) << 8;
        if (cp == 0)
            break;
        text += m_bUnicode ? toCp1252(cp) : static_cast<char>(cp);
    }
    return true;
}

int CRegExport::parse(const std::string& bytes)
{
    m_keys.clear();
    m_warnings.clear();
    m_error.clear();
    m_bUnicode = bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
                 static_cast<unsigned char>(bytes[1]) == 0xFE;
    std::vector<std::string> lines = splitLines(decode(bytes));

    std::size_t i = 0;
    while (i < lines.size() && trimText(lines[i]).empty())
        ++i;
    if (i == lines.size() ||
        (trimText(lines[i]) != "Windows Registry Editor Version 5.00" && trimText(lines[i]) != "REGEDIT4")) {
        m_error = "not a registry export: the first line is not \"Windows Registry Editor Version 5.00\"";
        return kRegExportNoHeader;
    }

    bool inKey = false;      // a key line was seen
    std::string currentPath; // key of the values that follow
    bool keepValues = false; // false under a key that was left out or removed
    for (++i; i < lines.size(); ++i) {
        int lineNo = static_cast<int>(i) + 1;
        std::string text = trimText(lines[i]);
        // Continuation lines of long values.
        while (!text.empty() && text.back() == '\\' && i + 1 < lines.size())
            text = trimText(text.substr(0, text.size() - 1) + trimText(lines[++i]));
        if (text.empty() || text[0] == ';')
            continue;
        if (text[0] == '[') {
            if (text.back() != ']')
                return fail(lineNo, "key line without closing \"]\"");
            std::string name = text.substr(1, text.size() - 2);
            bool remove = !name.empty() && name[0] == '-';
            if (remove)
                name = name.substr(1);
            std::size_t slash = name.find('\\');
            std::string root = asciiFolded(name.substr(0, slash));
            std::string path = slash == std::string::npos ? std::string() : name.substr(slash + 1);
            inKey = true;
            if (root != "hkey_local_machine" && root != "hklm") {
                m_warnings.push_back("line " + std::to_string(lineNo) +
                                     ": key outside HKEY_LOCAL_MACHINE left out: " + name);
                keepValues = false;
                continue;
            }
            if (remove) {
                removeKey(path);
                keepValues = false;
                continue;
            }
            keyFor(path);
            currentPath = path;
            keepValues = true;
            continue;
        }
        if (text[0] == '"' || text[0] == '@') {
            if (!inKey)
                return fail(lineNo, "value before the first key");
            int r = parseValue(lineNo, text, keepValues ? keyFor(currentPath) : nullptr);
            if (r != kRegExportOk)
                return r;
            continue;
        }
        return fail(lineNo, "neither a key, a value nor a comment");
    }
    return kRegExportOk;
}
