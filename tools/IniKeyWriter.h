#pragma once
// Writing one key of an initialization file while keeping every other byte
// of it: the release tool writes integrity pins into patch information
// files that publishers keep under version control.
//
// Sections and keys are found the way the program's reader finds them
// (products/ProfileLines.h): names trimmed and matched without regard to
// ASCII case, the first section of a name, the first key of a name in it,
// lines beginning with ";" are comments, a "[" without "]" is no section.

#include <string>

// Returns `text` with key=value in the first section named `section`:
//  - an existing key line is replaced by "key=value", its line ending kept;
//  - otherwise a line "key=value" goes after the section's last line that
//    is not blank (so a blank line before the next section stays where it
//    is);
//  - without such a section, "[section]" and the key are added at the end.
// New lines end like the file's first line (CR LF when it has no line
// ending at all).
std::string setIniKey(const std::string& text, const std::string& section, const std::string& key,
                      const std::string& value);

// setIniKey on a whole file's bytes, written in the file's own encoding:
// ANSI and UTF-8 (with or without byte-order mark) as they are, UTF-16 with
// its byte-order mark (either byte order) unit for unit.
std::string setIniKeyInFile(const std::string& bytes, const std::string& section, const std::string& key,
                            const std::string& value);
