#include "PatchFile.h"

#include "common/TextHelpers.h"
#include "products/ProfileLines.h"

CPatchFile::CPatchFile(const std::string& text)
{
    CProfileLineScanner scanner(text);
    ProfileLine line;
    while (scanner.next(line)) {
        if (line.kind == ProfileLine::kSection) {
            std::string name(line.name);
            m_first.emplace(asciiFolded(name), m_sections.size());
            m_sections.push_back(Section{name, line.nLine, {}});
            continue;
        }
        if (line.kind == ProfileLine::kComment)
            m_comments.push_back(text.substr(line.begin, line.end - line.begin));
        if (line.kind != ProfileLine::kKey)
            continue;
        if (line.bUnclosed)
            m_unclosed.push_back(line.nLine);
        PatchKey key{std::string(line.name), std::string(line.value), line.bHasValue, line.nLine};
        (m_sections.empty() ? m_loose : m_sections.back().keys).push_back(key);
    }
}

bool CPatchFile::hasSection(const std::string& section) const
{
    return m_first.count(asciiFolded(section)) != 0;
}

const std::vector<PatchKey>& CPatchFile::keys(const std::string& section) const
{
    static const std::vector<PatchKey> kNone;
    auto it = m_first.find(asciiFolded(section));
    return it == m_first.end() ? kNone : m_sections[it->second].keys;
}

const PatchKey* CPatchFile::find(const std::string& section, const std::string& key) const
{
    for (const PatchKey& k : keys(section))
        if (equalNoCaseAscii(k.name, key))
            return &k;
    return nullptr;
}

std::string CPatchFile::value(const std::string& section, const std::string& key) const
{
    const PatchKey* k = find(section, key);
    return k && k->bHasValue ? k->value : std::string();
}
