#include "RegExport.h"

#include "common/TextHelpers.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstring>

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
        std::size_t stop = s.find_first_of("\"\\", i);
        if (stop == std::string_view::npos)
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

std::string_view CTextStore::keep(std::string_view text)
{
    static const std::size_t kBlock = 1 << 20;
    if (m_blocks.empty() || m_size - m_used < text.size() + 1) {
        m_size = text.size() + 1 > kBlock ? text.size() + 1 : kBlock;
        m_blocks.emplace_back(new char[m_size]);
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    if (!text.empty())
        std::memcpy(at, text.data(), text.size());
    at[text.size()] = '\0';
    m_used += text.size() + 1;
    return std::string_view(at, text.size());
}

void CRegExport::begin(std::size_t sizeHint)
{
    *this = CRegExport();
    // An export holds a key for every 200 to 500 bytes or so: an index of
    // about the right size from the start saves growing it many times.
    static const std::size_t kMaxReserve = 1u << 22;
    std::size_t keys = sizeHint / 256 < kMaxReserve ? sizeHint / 256 : kMaxReserve;
    m_index.reserve(keys);
    m_slots.reserve(keys);
    m_keyData.reserve(keys);
}

int CRegExport::parse(const std::string& bytes)
{
    begin(bytes.size());
    feed(bytes.data(), bytes.size());
    return finish();
}

int CRegExport::parseFile(const std::string& path)
{
    begin();
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        m_error = "cannot read the file";
        return kRegExportUnreadable;
    }
    if (std::fseek(f, 0, SEEK_END) == 0) {
        long size = std::ftell(f);
        begin(size > 0 ? static_cast<std::size_t>(size) : 0);
    }
    std::rewind(f);
    static const std::size_t kBlock = 1 << 16;
    std::vector<char> block(kBlock);
    std::size_t n;
    while ((n = std::fread(block.data(), 1, kBlock, f)) > 0 && feed(block.data(), n) == kRegExportOk) {
    }
    bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) {
        m_error = "cannot read the file";
        return kRegExportUnreadable;
    }
    return finish();
}

int CRegExport::feed(const char* data, std::size_t size)
{
    for (std::size_t i = 0; i < size && m_result == kRegExportOk; ++i) {
        unsigned char b = static_cast<unsigned char>(data[i]);
        if (m_stage == 0) {
            // The byte-order mark decides the encoding: UTF-16LE after FF FE,
            // ANSI otherwise (a UTF-8 mark is passed over).
            m_head += static_cast<char>(b);
            bool unicode = m_head == "\xFF\xFE";
            bool utf8 = m_head == "\xEF\xBB\xBF";
            if (!unicode && !utf8 && std::string("\xEF\xBB\xBF").compare(0, m_head.size(), m_head) == 0 &&
                m_head.size() < 3)
                continue;
            if (!unicode && !utf8 && m_head == "\xFF")
                continue;
            m_stage = 1;
            m_bUnicode = unicode;
            std::string head = unicode || utf8 ? std::string() : m_head;
            m_head.clear();
            for (char c : head)
                decodeByte(static_cast<unsigned char>(c));
            continue;
        }
        // Printable ASCII, most of any export, goes straight to the line.
        std::size_t run = i;
        if (m_bUnicode && m_oddByte < 0 && !m_highSurrogate) {
            // Four units at a time while each is 0x20..0x7E (the machines
            // this runs on are little-endian: the low byte comes first).
            while (run + 8 <= size) {
                std::uint64_t w;
                std::memcpy(&w, data + run, 8);
                const std::uint64_t lanes = 0x0080008000800080ull;
                if ((w & 0xFF00FF00FF00FF00ull) || ((w + 0x0060006000600060ull) & lanes) != lanes ||
                    ((w + 0x0001000100010001ull) & lanes))
                    break;
                run += 8;
            }
            while (run + 1 < size && data[run + 1] == 0 && static_cast<unsigned char>(data[run]) >= 0x20 &&
                   static_cast<unsigned char>(data[run]) < 0x7F)
                run += 2;
            std::size_t old = m_line.size();
            m_line.resize(old + (run - i) / 2);
            for (std::size_t from = i, to = old; from < run; from += 2, ++to)
                m_line[to] = data[from];
        } else if (!m_bUnicode) {
            while (run < size && static_cast<unsigned char>(data[run]) >= 0x20)
                ++run;
            m_line.append(data + i, run - i);
        }
        if (run != i) {
            m_bLineOpen = true;
            m_bAfterCR = false;
            i = run - 1;
            continue;
        }
        decodeByte(b);
    }
    return m_result;
}

void CRegExport::decodeByte(unsigned char b)
{
    if (!m_bUnicode) {
        addChar(static_cast<char>(b));
        return;
    }
    if (m_oddByte < 0) {
        m_oddByte = b;
        return;
    }
    unsigned unit = static_cast<unsigned>(m_oddByte) | (static_cast<unsigned>(b) << 8);
    m_oddByte = -1;
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        addChar('?'); // outside the code page, paired or not
        if (unit >= 0xDC00 && unit <= 0xDFFF)
            return;
    }
    if (unit >= 0xD800 && unit <= 0xDBFF) {
        m_highSurrogate = unit;
        return;
    }
    addChar(toCp1252(unit));
}

void CRegExport::addChar(char c)
{
    if (c == '\r' || (c == '\n' && !m_bAfterCR)) {
        endLine();
        m_bAfterCR = c == '\r';
        return;
    }
    bool skip = c == '\n'; // the LF of CR LF
    m_bAfterCR = false;
    if (skip)
        return;
    m_line += c;
    m_bLineOpen = true;
}

void CRegExport::endLine()
{
    ++m_lineNo;
    if (m_result == kRegExportOk)
        onLine(m_line);
    m_line.clear();
    m_bLineOpen = false;
}

int CRegExport::finish()
{
    if (m_stage == 0) {
        m_stage = 1;
        for (char c : m_head)
            decodeByte(static_cast<unsigned char>(c));
    }
    if (m_highSurrogate) {
        m_highSurrogate = 0;
        addChar('?');
    }
    if (m_bLineOpen && m_result == kRegExportOk)
        endLine();
    if (m_bInHex && m_result == kRegExportOk)
        setHexValue(true); // the file ends in a continued hex value: the editor keeps what it read
    if (!m_bHeaderSeen && m_result == kRegExportOk) {
        m_error = "not a registry export: the first line is not \"Windows Registry Editor Version 5.00\"";
        m_result = kRegExportNoHeader;
    }
    if (m_moreWarnings)
        m_warnings.push_back("... and " + std::to_string(m_moreWarnings) + " more");
    // The keys named and still there, in place, in the order read.
    m_position.assign(m_slots.size(), kImplied);
    std::size_t kept = 0;
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        if (m_slots[i].bLive && m_slots[i].bNamed) {
            m_position[i] = static_cast<int>(kept);
            if (kept != i)
                m_keyData[kept] = std::move(m_keyData[i]);
            ++kept;
        }
    }
    m_keyData.resize(kept);
    m_keys = std::move(m_keyData);
    m_keyData = std::vector<RegExportKey>();
    m_slots.clear();
    return m_result;
}

void CRegExport::warn(const std::string& what)
{
    if (m_warnings.size() < kMaxWarnings)
        m_warnings.push_back("line " + std::to_string(m_lineNo) + ": " + what);
    else
        ++m_moreWarnings;
}

void CRegExport::fail(const std::string& what)
{
    m_error = "line " + std::to_string(m_lineNo) + ": " + what;
    m_result = kRegExportMalformed;
}

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
        for (std::size_t i = 0; i + unit <= m_hexData.size(); i += unit) {
            unsigned cp = static_cast<unsigned char>(m_hexData[i]);
            if (m_bUnicode)
                cp |= static_cast<unsigned>(static_cast<unsigned char>(m_hexData[i + 1])) << 8;
            if (cp == 0)
                break;
            m_text += m_bUnicode ? toCp1252(cp) : static_cast<char>(cp);
        }
    }
    setValue(m_hexName, isString, m_text);
}

std::size_t CRegExport::FoldedHash::operator()(std::string_view s) const noexcept
{
    std::size_t h = 14695981039346656037ull & static_cast<std::size_t>(-1);
    for (char c : s)
        h = (h ^ static_cast<unsigned char>(asciiLower(c))) * static_cast<std::size_t>(1099511628211ull);
    return h;
}

bool CRegExport::FoldedEqual::operator()(std::string_view a, std::string_view b) const noexcept
{
    return equalNoCaseAscii(a, b);
}

std::size_t CRegExport::findValue(std::size_t at, std::string_view name) const
{
    const std::vector<RegExportValue>& values = m_keyData[at].values;
    const Slot& slot = m_slots[at];
    if (slot.byName) {
        auto found = slot.byName->find(asciiFolded(std::string(name)));
        return found == slot.byName->end() ? values.size() : found->second;
    }
    std::size_t i = 0;
    while (i < values.size() && !equalNoCaseAscii(values[i].name, name))
        ++i;
    return i;
}

void CRegExport::setValue(std::string_view name, bool bString, std::string_view text)
{
    static const std::size_t kIndexed = 16; // a key with more values gets an index of their names
    Slot& slot = m_slots[m_current];
    std::vector<RegExportValue>& values = m_keyData[m_current].values;
    std::size_t at = findValue(m_current, name);
    std::string_view kept = bString ? m_store.keep(text) : std::string_view();
    if (at < values.size()) {
        // The registry keeps a value's first spelling.
        values[at] = RegExportValue{values[at].name, bString, kept};
        return;
    }
    if (values.empty())
        values.reserve(4); // a key of an installed product holds a few
    values.push_back(RegExportValue{keptName(name), bString, kept});
    if (slot.byName) {
        slot.byName->emplace(asciiFolded(std::string(values.back().name)), at);
    } else if (values.size() > kIndexed) {
        slot.byName.reset(new std::unordered_map<std::string, std::size_t>());
        for (std::size_t i = 0; i < values.size(); ++i)
            slot.byName->emplace(asciiFolded(std::string(values[i].name)), i);
    }
}

void CRegExport::removeValue(std::string_view name)
{
    Slot& slot = m_slots[m_current];
    std::vector<RegExportValue>& values = m_keyData[m_current].values;
    std::size_t at = findValue(m_current, name);
    if (at == values.size())
        return;
    values.erase(values.begin() + static_cast<std::ptrdiff_t>(at));
    if (slot.byName) {
        slot.byName->clear();
        for (std::size_t i = 0; i < values.size(); ++i)
            slot.byName->emplace(asciiFolded(std::string(values[i].name)), i);
    }
}

std::string_view CRegExport::keptName(std::string_view name)
{
    auto found = m_names.find(name);
    return found != m_names.end() ? *found : *m_names.insert(m_store.keep(name)).first;
}

std::size_t CRegExport::newSlot(std::string_view path, std::size_t parent)
{
    std::size_t at = m_slots.size();
    std::size_t sibling = parent == kNoKey ? kNoKey : m_slots[parent].firstChild;
    m_slots.push_back(Slot{parent, kNoKey, sibling, false, true, nullptr});
    m_keyData.push_back(RegExportKey{path, {}});
    if (parent != kNoKey)
        m_slots[parent].firstChild = at;
    m_last = at;
    return at;
}

std::size_t CRegExport::parentOf(std::string_view path, std::size_t cut)
{
    // Exports list a key's parent just before it, or one of the keys above
    // the key before: that chain is looked at first.
    std::string_view wanted = path.substr(0, cut);
    for (std::size_t s = m_last; s != kNoKey && m_slots[s].bLive; s = m_slots[s].parent) {
        std::string_view above = m_keyData[s].path;
        if (above.size() == cut && equalNoCaseAscii(above, wanted))
            return s;
        if (above.size() < cut)
            break;
    }
    return slotFor(wanted, false);
}

std::size_t CRegExport::slotFor(std::string_view path, bool named)
{
    auto found = m_index.find(path);
    if (found == m_index.end()) {
        // A new key: the keys above it exist too, as the registry creates
        // them (at most one level of them per backslash of the path).
        std::string_view kept = m_store.keep(path);
        std::size_t cut = kept.rfind('\\');
        std::size_t parent = cut == std::string_view::npos || cut == 0 ? kNoKey : parentOf(kept, cut);
        std::size_t at = newSlot(kept, parent); // the keys above came first
        found = m_index.emplace(kept, at).first;
    }
    std::size_t at = found->second;
    if (named)
        m_slots[at].bNamed = true;
    return at;
}

void CRegExport::removeKey(const std::string& path)
{
    // The key and every key below it; each key is removed once, so all
    // removals together cost no more than the keys read.
    auto found = m_index.find(path);
    if (found == m_index.end())
        return;
    std::vector<std::size_t> pending{found->second};
    while (!pending.empty()) {
        std::size_t at = pending.back();
        pending.pop_back();
        Slot& slot = m_slots[at];
        if (!slot.bLive)
            continue;
        slot.bLive = false;
        m_index.erase(m_keyData[at].path);
        for (std::size_t child = slot.firstChild; child != kNoKey; child = m_slots[child].nextSibling)
            pending.push_back(child);
        m_keyData[at].values.clear();
        m_keyData[at].values.shrink_to_fit();
        slot.byName.reset();
    }
}

int CRegExport::lookup(const std::string& path) const
{
    auto found = m_index.find(path);
    if (found == m_index.end() || found->second >= m_position.size())
        return kMissing;
    return m_position[found->second];
}
