// Reading a registry export, part two: the line grammar, each line read as
// the registry editor imports it (regedit /s): keys, removals, values of
// each type, hex data over several lines, and what is skipped.
#include "RegExport.h"
#include "RegExportText.h"

#include "common/TextHelpers.h"

#include <cstring>

namespace {

const char kLocalMachine[] = "HKEY_LOCAL_MACHINE";
// The roots the registry editor opens; nothing else, no abbreviation.
const char* const kRoots[] = {kLocalMachine,         "HKEY_USERS",        "HKEY_CLASSES_ROOT",
                              "HKEY_CURRENT_CONFIG", "HKEY_CURRENT_USER", "HKEY_DYN_DATA"};

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

std::size_t skipBlanks(std::string_view s, std::size_t pos)
{
    while (pos < s.size() && isBlank(s[pos]))
        ++pos;
    return pos;
}

// Nothing but blanks and perhaps a ";" comment from pos on.
bool onlyComment(std::string_view s, std::size_t pos)
{
    pos = skipBlanks(s, pos);
    return pos == s.size() || s[pos] == ';';
}

bool isHexDigit(char c)
{
    return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f');
}

unsigned hexValue(char c)
{
    return c <= '9' ? static_cast<unsigned>(c - '0') : static_cast<unsigned>((c | 0x20) - 'a' + 10);
}

// Reads a quoted text whose opening quote is just before s[pos], undoing
// the escapes the editor knows. Sets pos past the closing quote; false
// when there is none or the text holds "\0".
bool readQuoted(std::string_view s, std::size_t& pos, std::string& out)
{
    out.clear();
    for (std::size_t i = pos; i < s.size(); ++i) {
        // A plain loop: find_first_of calls memchr on its set for every character.
        std::size_t stop = i;
        while (stop < s.size() && s[stop] != '"' && s[stop] != '\\')
            ++stop;
        if (stop == s.size())
            return false;
        out.append(s.data() + i, stop - i);
        i = stop;
        if (s[i] == '"') {
            pos = i + 1;
            return true;
        }
        if (++i == s.size() || s[i] == '0')
            return false;
        out += s[i] == 'n' ? '\n' : s[i] == 'r' ? '\r' : s[i];
    }
    return false;
}

// The root of a key name ("HKEY_LOCAL_MACHINE\path" or the root alone) and
// the path below it; false when the name starts with no root the editor
// knows.
bool splitRoot(std::string_view name, const char*& root, std::string_view& path)
{
    for (const char* r : kRoots) {
        std::size_t len = std::strlen(r);
        if (name.size() >= len && equalNoCaseAscii(name.substr(0, len), r) &&
            (name.size() == len || name[len] == '\\')) {
            root = r;
            path = name.size() > len ? name.substr(len + 1) : std::string_view();
            return true;
        }
    }
    return false;
}

} // namespace

void CRegExport::onLine(const std::string& line)
{
    std::size_t pos = skipBlanks(line, 0);
    if (!m_bHeaderSeen) {
        std::string header = line.substr(pos);
        if (header != "Windows Registry Editor Version 5.00" && header != "REGEDIT4") {
            m_error = "not a registry export: the first line is not \"Windows Registry Editor Version 5.00\"";
            m_result = kRegExportNoHeader;
            return;
        }
        m_bHeaderSeen = true;
        return;
    }
    if (m_bInHex) {
        // A line after a hex line that ended in "\".
        if (pos == line.size() || line[pos] == ';')
            return;
        if (!isHexDigit(line[pos])) {
            m_bInHex = false;
            warn("skipped with the value before it, as the registry editor does: a hex value continued with \"\\\" "
                 "on a line that does not start with a hex digit");
            return;
        }
        onHexLine(line, pos);
        return;
    }
    if (pos == line.size() || line[pos] == ';' || line[pos] == '#')
        return;
    if (line[pos] == '[')
        onKeyLine(line, pos + 1);
    else if (line[pos] == '@' || line[pos] == '"')
        onValueLine(line, pos);
    else
        warn("skipped, as the registry editor skips it: neither a key, a value nor a comment");
}

void CRegExport::onKeyLine(const std::string& line, std::size_t pos)
{
    std::size_t end = line.rfind(']');
    if (pos == line.size() || isBlank(line[pos]) || end == std::string::npos || end < pos) {
        warn("skipped, as the registry editor skips it: a key line without closing \"]\" or with a space after "
             "\"[\"; the values after it still go to the key before");
        return;
    }
    std::string_view name = std::string_view(line).substr(pos, end - pos);
    m_current = kNoKey;
    m_bKeySeen = true;
    const char* root = nullptr;
    std::string_view path;
    if (!name.empty() && name[0] == '-') {
        name.remove_prefix(1);
        if (name.empty() || (name[0] != 'H' && name[0] != 'h'))
            return; // the editor ignores it
        if (!splitRoot(name, root, path))
            return fail("removes a key under no root the registry editor knows: it stops there (" + std::string(name) +
                        ")");
        if (path.empty())
            return fail("removes a whole root: the registry editor stops there (" + std::string(name) + ")");
        if (root == kLocalMachine)
            removeKey(std::string(path));
        else
            warn("key outside HKEY_LOCAL_MACHINE left out: " + std::string(name));
        return;
    }
    if (!splitRoot(name, root, path))
        warn("key under no root the registry editor knows (roots are never abbreviated): " + std::string(name) +
             "; its values are skipped");
    else if (root != kLocalMachine)
        warn("key outside HKEY_LOCAL_MACHINE left out: " + std::string(name));
    else
        m_current = slotFor(path, true);
}

void CRegExport::onValueLine(const std::string& line, std::size_t pos)
{
    std::string& name = m_name;
    name.clear();
    if (line[pos] == '@') {
        ++pos;
    } else if (++pos, !readQuoted(line, pos, name)) {
        return warn("skipped, as the registry editor skips it: a value name without closing quote (or with \\0)");
    }
    pos = skipBlanks(line, pos);
    if (pos == line.size() || line[pos] != '=')
        return warn("skipped, as the registry editor skips it: a value without \"=\"");
    pos = skipBlanks(line, pos + 1);
    std::size_t end = line.size();
    while (end > pos && isBlank(line[end - 1]))
        --end;
    std::string_view data = std::string_view(line).substr(pos, end - pos);
    if (!m_bKeySeen)
        warn("a value before the first key: skipped");

    if (!data.empty() && data[0] == '-') {
        if (!onlyComment(data, 1))
            return warn("skipped, as the registry editor skips it: text after \"=-\"");
        if (m_current != kNoKey)
            removeValue(name);
        return;
    }
    if (!data.empty() && data[0] == '"') {
        std::size_t at = 1;
        if (!readQuoted(data, at, m_text) || !onlyComment(data, at))
            return warn("skipped, as the registry editor skips it: a string without closing quote, with \\0, or "
                        "with text after it");
        if (m_current != kNoKey)
            setValue(name, true, m_text);
        return;
    }
    if (data.compare(0, 6, "dword:") == 0) {
        std::size_t at = skipBlanks(data, 6);
        std::size_t digits = 0;
        while (at < data.size() && isHexDigit(data[at]))
            ++at, ++digits;
        if (digits == 0 || digits > 8 || !onlyComment(data, at))
            return warn("skipped, as the registry editor skips it: a dword that is not 1 to 8 hex digits");
        if (m_current != kNoKey)
            setValue(name, false, std::string_view());
        return;
    }
    std::size_t at = 0;
    unsigned long long type = 3; // REG_BINARY
    if (data.compare(0, 4, "hex:") == 0) {
        at = 4;
    } else if (data.compare(0, 4, "hex(") == 0) {
        // "hex(n):" with n in hex, at most 32 bits, without "0x".
        at = 4;
        if (at == data.size() || (at + 1 < data.size() && (data[at + 1] | 0x20) == 'x'))
            return warn("skipped, as the registry editor skips it: a hex(n) type that is not a hex number");
        type = 0;
        while (at < data.size() && isHexDigit(data[at]) && type <= 0xFFFFFFFFull)
            type = type * 16 + hexValue(data[at++]);
        if (type > 0xFFFFFFFFull || data.compare(at, 2, "):") != 0)
            return warn("skipped, as the registry editor skips it: a hex(n) type that is not a hex number");
        at += 2;
    } else {
        return warn("skipped, as the registry editor skips it: a value of a type it does not know");
    }
    m_bInHex = true;
    m_hexType = static_cast<unsigned long>(type);
    m_hexName = name;
    m_hexData.clear();
    if (at == data.size())
        return setHexValue(false); // no data at all: an empty value, no terminator added
    onHexLine(data, at);
}

void CRegExport::onHexLine(std::string_view line, std::size_t pos)
{
    // Comma-separated bytes of one or two hex digits, perhaps with blanks
    // before each; a "\" where a byte would be continues the value on the
    // next line, a ";" ends it.
    while (pos + 3 < line.size() && isHexDigit(line[pos]) && isHexDigit(line[pos + 1]) && line[pos + 2] == ',') {
        // "hh," as the editor writes them, a byte after a byte.
        m_hexData += static_cast<char>(hexValue(line[pos]) * 16 + hexValue(line[pos + 1]));
        pos += 3;
    }
    while (pos < line.size()) {
        std::size_t at = skipBlanks(line, pos);
        unsigned value = 0;
        std::size_t digits = 0;
        while (at < line.size() && isHexDigit(line[at]) && value <= 0xFF)
            value = value * 16 + hexValue(line[at++]), ++digits;
        if (digits == 0) {
            at = skipBlanks(line, at);
            if (at < line.size() && line[at] == '\\') {
                if (!onlyComment(line, at + 1))
                    break;
                return; // on the next line
            }
            if (at < line.size() && line[at] == ';')
                return setHexValue(true);
            break;
        }
        if (value > 0xFF)
            break;
        m_hexData += static_cast<char>(value);
        if (at == line.size())
            return setHexValue(true);
        if (line[at] != ',') {
            if (onlyComment(line, at))
                return setHexValue(true);
            break;
        }
        pos = at + 1;
    }
    if (pos >= line.size())
        return setHexValue(true); // ends in a comma
    m_bInHex = false;
    warn("skipped, as the registry editor skips it: hex data that is not a list of bytes");
}

void CRegExport::setHexValue(bool terminate)
{
    m_bInHex = false;
    if (m_current == kNoKey)
        return;
    bool isString = false;
    m_text.clear();
    // REG_SZ and REG_EXPAND_SZ as bytes: UTF-16LE in a UTF-16 file, ANSI in
    // an ANSI one. The editor ends the data with a terminator when it lacks
    // one, so the text ends at the first terminator or with the data.
    std::size_t unit = m_bUnicode ? 2 : 1;
    if ((m_hexType == 1 || m_hexType == 2) && terminate && m_hexData.size() >= unit) {
        isString = true;
        unsigned high = 0; // a high surrogate waiting for its pair
        for (std::size_t i = 0; i + unit <= m_hexData.size(); i += unit) {
            unsigned cp = static_cast<unsigned char>(m_hexData[i]);
            if (!m_bUnicode) {
                if (cp == 0)
                    break;
                m_text += static_cast<char>(cp);
                continue;
            }
            cp |= static_cast<unsigned>(static_cast<unsigned char>(m_hexData[i + 1])) << 8;
            if (high && cp >= 0xDC00 && cp <= 0xDFFF) {
                appendNarrow(m_text, 0x10000 + ((high - 0xD800) << 10) + (cp - 0xDC00), m_codePage);
                high = 0;
                continue;
            }
            if (high)
                appendNarrow(m_text, 0xFFFD, m_codePage);
            high = cp >= 0xD800 && cp <= 0xDBFF ? cp : 0;
            if (cp == 0)
                break;
            if (!high)
                appendNarrow(m_text, cp >= 0xDC00 && cp <= 0xDFFF ? 0xFFFD : cp, m_codePage);
        }
        if (high)
            appendNarrow(m_text, 0xFFFD, m_codePage);
    }
    setValue(m_hexName, isString, m_text);
}
