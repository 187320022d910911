#pragma once
// The lines of an initialization file as the profile reader sees them: the
// one place that says what a section line, a key line and a comment are.
// CIniFileReader reads values through it; the release tool lints and writes
// patch information files through it, so they find what the program finds.
//
//  - Lines end at CR LF, LF or CR. A line is trimmed of kProfileSpace.
//  - A line that begins with ";" is a comment.
//  - "[name]" starts a section: the name is what lies between "[" and the
//    last "]", trimmed. A "[" without a later "]" is an ordinary line.
//  - Any other line that is not blank is a key: the name before the first
//    "=", the value after it, both trimmed; a value enclosed in a matching
//    pair of single or double quotes loses them. A line without "=" is a
//    key without value, which reads as missing.

#include <cstddef>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct ProfileLine {
    enum Kind { kBlank, kComment, kSection, kKey };
    Kind kind = kBlank;
    int nLine = 0;          // 1-based
    std::size_t begin = 0;  // the line's first byte in the text
    std::size_t end = 0;    // one past its last byte before the line ending
    std::size_t next = 0;   // the next line's first byte
    std::string_view name;  // section or key name, trimmed
    std::string_view value; // key value, trimmed, quotes removed
    bool bHasValue = false; // key: the line holds "="
    bool bUnclosed = false; // key: the line begins with "[" but holds no later "]"
};

class CProfileLineScanner {
public:
    // The text must outlive the scanner and the lines it gives.
    explicit CProfileLineScanner(std::string_view text) : m_text(text) {}

    // The next line; false after the last one.
    bool next(ProfileLine& line);

private:
    std::string_view m_text;
    std::size_t m_pos = 0;
    int m_nLine = 0;
};

// Every line of the text, in order (the views point into it).
std::vector<ProfileLine> scanProfileLines(std::string_view text);

// Where the reader looks in scanned lines: the first section line of each
// name, and in that section the first key line of each name. Names match
// without regard to ASCII case; a later section of the same name and a later
// key of the same name within the first section are never read. A key line
// before any section belongs to no section. Holds positions in the lines,
// not the lines themselves.
class CProfileIndex {
public:
    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    explicit CProfileIndex(const std::vector<ProfileLine>& lines);

    // The position of the first section line named `section`, or npos.
    std::size_t section(std::string_view section) const;
    // The position of the first key line named `key` in that section (with
    // or without "="), or npos.
    std::size_t key(std::string_view section, std::string_view key) const;

private:
    std::map<std::string, std::size_t> m_sections;                     // folded name -> position
    std::map<std::pair<std::size_t, std::string>, std::size_t> m_keys; // (section, folded name) -> position
};

// How a file's bytes are encoded, told by its byte-order mark.
enum ProfileEncoding { kProfileAnsi, kProfileUtf8Bom, kProfileUtf16Le, kProfileUtf16Be };
ProfileEncoding profileEncodingOf(const std::string& bytes);

// The file's text as the reader takes it: without a UTF-8 byte-order mark;
// a UTF-16 file (either byte order, with its mark) narrowed with every
// character outside ASCII as "?"; anything else byte for byte.
std::string profileTextOf(const std::string& bytes);

// Reads the file's bytes (profileTextOf gives its text). False when it
// cannot be read.
bool readProfileBytes(const char* path, std::string& bytes);
