#pragma once
// vdrpack's lint of a patch information file: the mistakes that make a
// package do nothing or the wrong thing on every machine, found before it
// ships. The file is read the way the program's reader reads it (first
// section and first key of a name count, names without regard to case), so
// every finding says what the program would do with the file.
//
// Each finding has a stable code (the list is in docs/vdrpack-json.md), a
// severity, the line it is about (0 for the file as a whole), what the
// program would do, and a one-line fix.

#include <map>
#include <string>
#include <vector>

enum LintSeverity {
    kLintError,   // the package would misbehave: build refuses, lint exits 1
    kLintWarning, // likely a mistake, or a risk on some machines
    kLintNote,    // something to know when publishing (server layout)
};

struct LintFinding {
    std::string code;
    LintSeverity severity;
    int nLine;
    std::string message;
    std::string fix;
};

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
    std::vector<Section> m_sections;
    std::map<std::string, std::size_t> m_first; // folded name -> index of its first section
    std::vector<PatchKey> m_loose;
    std::vector<int> m_unclosed;
    std::vector<std::string> m_comments;
};

// Every finding for the file's bytes, in line order.
std::vector<LintFinding> lintPatchFile(const std::string& bytes);

// Part of the lint: the [SRInfo] build entries and pins against the
// products of [RegPath] (BuildLint.cpp).
void lintBuilds(const CPatchFile& file, std::vector<LintFinding>& findings);

// Levenshtein distance, for naming the key or product a typo meant.
std::size_t editDistance(const std::string& a, const std::string& b);

// Whether any finding is an error.
bool hasLintErrors(const std::vector<LintFinding>& findings);

const char* severityName(LintSeverity severity);
