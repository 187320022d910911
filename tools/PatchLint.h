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

// Every finding for the file's bytes, in line order. Of each code the first
// kLintShownPerCode findings are listed in full; the rest are folded into
// one more finding of that code that says how many there are and on which
// lines (a file of a thousand products and entries would otherwise list a
// million), so the lint stays linear in the file's size.
std::vector<LintFinding> lintPatchFile(const std::string& bytes);

constexpr std::size_t kLintShownPerCode = 5;

struct KnownKeys;

// The lint's checks over one file, each adding its findings to `out`: the
// structure, keys and products in PatchLint.cpp, the [SRInfo] builds and
// pins against the products of [RegPath] in BuildLint.cpp.
struct Linter {
    Linter(const CPatchFile& f, std::vector<LintFinding>& o) : file(f), out(o) {}

    const CPatchFile& file;
    std::vector<LintFinding>& out;

    void add(const char* code, LintSeverity s, int line, const std::string& message, const std::string& fix);
    // Whether another finding of code is listed in full; a check that finds
    // many asks first and, when not, only counts them (fold) without
    // wording each.
    bool shows(const char* code) const;
    void fold(const char* code, LintSeverity s, int line, std::size_t n, const std::string& fix);
    // Adds one finding per code with folded ones: their count and lines.
    void summarize();
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
    // The [SRInfo] checks' own types, in BuildLint.cpp.
    struct NamedProducts;
    struct BuildKey;
    struct Folded {
        std::size_t shown = 0;
        std::size_t hidden = 0;
        int first = 0, last = 0; // lines of the hidden ones
        LintSeverity severity = kLintNote;
        std::string fix;
    };
    std::map<std::string, Folded> m_folded; // by code

    std::vector<std::string> entryKeys(int entry, int line, const NamedProducts& products, std::vector<BuildKey>& all);
    void keyNames(const std::string& what, const std::string& key, int line, const NamedProducts& products);
    void entryMatches(int entry, int line, const std::vector<std::string>& keys, const NamedProducts& products,
                      std::map<std::string, int>& firstWithKeys);
    void containedKeys(const std::vector<BuildKey>& all);
    void pins(int count);
    void requestText(const PatchKey* url, const PatchKey* srNo);
};

// What in a URL's text (from its path on) or an SR number changes the
// request the run makes ("a backslash (read as "/")"): "" when nothing
// does. An SR number names one file, so a "/" in it does too.
std::string requestHazard(const std::string& text, bool srNo);

// Levenshtein distance, for naming the key or product a typo meant.
std::size_t editDistance(const std::string& a, const std::string& b);

// Whether any finding is an error.
bool hasLintErrors(const std::vector<LintFinding>& findings);

const char* severityName(LintSeverity severity);
