#pragma once
// The lint's model of a patch information file: its sections and key lines
// in order, with the first section of each name found as the program's
// reader finds it (names without regard to ASCII case).

#include "products/ProfileLines.h"

#include <string>
#include <vector>

// One key line of a section.
struct PatchKey {
    std::string name;
    std::string value; // trimmed, quotes removed, not cut
    bool bHasValue;
    int nLine;
};

// The file as the program's reader sees it: the first section of each name
// with all its key lines in order (the reader takes the first of a name).
class CPatchFile {
public:
    explicit CPatchFile(const std::string& text);

    // The key the reader finds, or null.
    const PatchKey* find(const std::string& section, const std::string& key) const;
    // The value the reader gets ("" when missing).
    std::string value(const std::string& section, const std::string& key) const;
    bool hasSection(const std::string& section) const;
    // Key lines of the first section of the name, duplicates included.
    const std::vector<PatchKey>& keys(const std::string& section) const;

    struct Section {
        std::string name;
        int nLine;
        std::vector<PatchKey> keys;
    };
    const std::vector<Section>& sections() const { return m_sections; }     // every section line, in order
    const std::vector<PatchKey>& loose() const { return m_loose; }          // key lines before any section
    const std::vector<int>& unclosed() const { return m_unclosed; }         // lines "[name" without "]"
    const std::vector<std::string>& comments() const { return m_comments; } // comment lines' text

private:
    CPatchFile(const std::string& text, const std::vector<ProfileLine>& lines);

    // Where a line position of the index lies: the section (in m_sections)
    // and, for a key line, its place among that section's keys.
    struct Place {
        std::size_t section;
        std::size_t key;
    };

    CProfileIndex m_index;
    std::vector<Place> m_placeOf; // by line position
    std::vector<Section> m_sections;
    std::vector<PatchKey> m_loose;
    std::vector<int> m_unclosed;
    std::vector<std::string> m_comments;
};
