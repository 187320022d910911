#include "products/ProfileLines.h"

#include "common/TextHelpers.h"

#include <fstream>
#include <iterator>

namespace {

std::string narrowedUtf16(const std::string& bytes, bool bigEndian)
{
    std::string text;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        const unsigned char lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const unsigned char hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        text += (hi == 0 && lo < 0x80) ? static_cast<char>(lo) : '?';
    }
    return text;
}

} // namespace

bool CProfileLineScanner::next(ProfileLine& line)
{
    if (m_pos >= m_text.size())
        return false;
    line = ProfileLine();
    line.nLine = ++m_nLine;
    line.begin = m_pos;
    line.end = m_pos;
    while (line.end < m_text.size() && m_text[line.end] != '\r' && m_text[line.end] != '\n')
        ++line.end;
    line.next = line.end;
    if (line.next < m_text.size() && m_text[line.next] == '\r')
        ++line.next;
    if (line.next < m_text.size() && m_text[line.next] == '\n' && (line.next == line.end || m_text[line.end] == '\r'))
        ++line.next;
    m_pos = line.next;

    std::string_view content = trimmedView(m_text.substr(line.begin, line.end - line.begin), kProfileSpace);
    if (content.empty())
        return true;
    if (content[0] == ';') {
        line.kind = ProfileLine::kComment;
        return true;
    }
    if (content[0] == '[') {
        std::size_t close = content.rfind(']');
        if (close != std::string_view::npos && close > 0) {
            line.kind = ProfileLine::kSection;
            line.name = trimmedView(content.substr(1, close - 1), kProfileSpace);
            return true;
        }
        line.bUnclosed = true;
    }
    line.kind = ProfileLine::kKey;
    std::size_t eq = content.find('=');
    line.name = trimmedView(content.substr(0, eq), kProfileSpace);
    if (eq == std::string_view::npos)
        return true;
    line.bHasValue = true;
    std::string_view v = trimmedView(content.substr(eq + 1), kProfileSpace);
    if (v.size() >= 2 && (v[0] == '"' || v[0] == '\'') && v.back() == v[0])
        v = v.substr(1, v.size() - 2);
    line.value = v;
    return true;
}

std::vector<ProfileLine> scanProfileLines(std::string_view text)
{
    std::vector<ProfileLine> lines;
    CProfileLineScanner scanner(text);
    ProfileLine line;
    while (scanner.next(line))
        lines.push_back(line);
    return lines;
}

CProfileIndex::CProfileIndex(const std::vector<ProfileLine>& lines)
{
    std::size_t current = npos; // the first section of its name the lines are in, if any
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ProfileLine& line = lines[i];
        if (line.kind == ProfileLine::kSection)
            current = m_sections.emplace(asciiFolded(std::string(line.name)), i).second ? i : npos;
        else if (line.kind == ProfileLine::kKey && current != npos)
            m_keys.emplace(std::make_pair(current, asciiFolded(std::string(line.name))), i);
    }
}

std::size_t CProfileIndex::section(std::string_view section) const
{
    auto it = m_sections.find(asciiFolded(std::string(section)));
    return it == m_sections.end() ? npos : it->second;
}

std::size_t CProfileIndex::key(std::string_view section, std::string_view key) const
{
    std::size_t at = this->section(section);
    if (at == npos)
        return npos;
    auto it = m_keys.find(std::make_pair(at, asciiFolded(std::string(key))));
    return it == m_keys.end() ? npos : it->second;
}

ProfileEncoding profileEncodingOf(const std::string& bytes)
{
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return kProfileUtf8Bom;
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return kProfileUtf16Le;
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return kProfileUtf16Be;
    return kProfileAnsi;
}

std::string profileTextOf(const std::string& bytes)
{
    switch (profileEncodingOf(bytes)) {
    case kProfileUtf8Bom:
        return bytes.substr(3);
    case kProfileUtf16Le:
        return narrowedUtf16(bytes, false);
    case kProfileUtf16Be:
        return narrowedUtf16(bytes, true);
    default:
        return bytes;
    }
}

bool readProfileBytes(const char* path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}
