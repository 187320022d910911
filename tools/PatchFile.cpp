#include "PatchFile.h"

CPatchFile::CPatchFile(const std::string& text) : CPatchFile(text, scanProfileLines(text)) {}

CPatchFile::CPatchFile(const std::string& text, const std::vector<ProfileLine>& lines)
    : m_index(lines), m_placeOf(lines.size())
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const ProfileLine& line = lines[i];
        if (line.kind == ProfileLine::kSection) {
            m_placeOf[i] = Place{m_sections.size(), 0};
            m_sections.push_back(Section{std::string(line.name), line.nLine, {}});
            continue;
        }
        if (line.kind == ProfileLine::kComment)
            m_comments.push_back(text.substr(line.begin, line.end - line.begin));
        if (line.kind != ProfileLine::kKey)
            continue;
        if (line.bUnclosed)
            m_unclosed.push_back(line.nLine);
        PatchKey key{std::string(line.name), std::string(line.value), line.bHasValue, line.nLine};
        if (m_sections.empty()) {
            m_loose.push_back(key);
            continue;
        }
        m_placeOf[i] = Place{m_sections.size() - 1, m_sections.back().keys.size()};
        m_sections.back().keys.push_back(key);
    }
}

bool CPatchFile::hasSection(const std::string& section) const
{
    return m_index.section(section) != CProfileIndex::npos;
}

const std::vector<PatchKey>& CPatchFile::keys(const std::string& section) const
{
    static const std::vector<PatchKey> kNone;
    std::size_t at = m_index.section(section);
    return at == CProfileIndex::npos ? kNone : m_sections[m_placeOf[at].section].keys;
}

const PatchKey* CPatchFile::find(const std::string& section, const std::string& key) const
{
    std::size_t at = m_index.key(section, key);
    if (at == CProfileIndex::npos)
        return nullptr;
    const Place& place = m_placeOf[at];
    return &m_sections[place.section].keys[place.key];
}

std::string CPatchFile::value(const std::string& section, const std::string& key) const
{
    const PatchKey* k = find(section, key);
    return k && k->bHasValue ? k->value : std::string();
}
