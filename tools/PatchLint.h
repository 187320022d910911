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

#include "PatchFile.h"

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

// Every finding for the file's bytes, in line order.
std::vector<LintFinding> lintPatchFile(const std::string& bytes);

struct KnownKeys;

// The lint's checks over one file, each adding its findings to `out`: the
// structure, keys and products in PatchLint.cpp, the [SRInfo] builds and
// pins against the products of [RegPath] in BuildLint.cpp.
struct Linter {
    const CPatchFile& file;
    std::vector<LintFinding>& out;

    void add(const char* code, LintSeverity s, int line, const std::string& message, const std::string& fix);
    // The line of the key the reader finds; 0 when it is missing.
    int lineOf(const char* section, const std::string& key) const;

    void structure();
    void keysOf(const CPatchFile::Section& section);
    int count(const char* section);
    void products(int count);
    void beyond(const KnownKeys& known, int count);
    void patch();
    void handOff();
    void builds();

private:
    struct NamedProduct {
        int index;
        std::string name; // the name part of its Check value
    };
    struct BuildKey {
        std::string text;
        int entry;
        int nLine;
    };

    std::vector<NamedProduct> namedProducts(bool& allNamed) const;
    std::vector<std::string> entryKeys(int entry, int line, const std::vector<NamedProduct>& products, bool allNamed,
                                       std::vector<BuildKey>& all);
    void keyNames(const std::string& what, const std::string& key, int line, const std::vector<NamedProduct>& products,
                  bool allNamed);
    void entryMatches(int entry, int line, const std::vector<std::string>& keys,
                      const std::vector<NamedProduct>& products, const std::vector<std::vector<std::string>>& entries);
    void containedKeys(const std::vector<BuildKey>& all);
    void pins();
};

// Levenshtein distance, for naming the key or product a typo meant.
std::size_t editDistance(const std::string& a, const std::string& b);

// Whether any finding is an error.
bool hasLintErrors(const std::vector<LintFinding>& findings);

const char* severityName(LintSeverity severity);
