#pragma once
// File helpers shared by the tests, native and under Wine alike: whole
// files as byte strings, a private scratch directory, and a working
// directory held for a scope.

#include <string>

using Bytes = std::string;

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& data);
bool fileExists(const std::string& path);

// text as UTF-16LE bytes with the byte-order mark, as "Unicode" editors and
// the registry editor write files.
Bytes utf16le(const std::u16string& text);

// A fresh directory under the system's temporary directory, removed with
// everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    // Full path of a file in the directory (written or not), joined with
    // the platform's separator (the platform's profile reader needs full
    // paths).
    std::string file(const std::string& name) const;
    // Writes the bytes as they are (no line-end translation); returns the
    // file's path.
    std::string write(const std::string& name, const Bytes& data) const;

private:
    std::string m_path;
};

// Makes a directory the working directory for its lifetime. Attached files
// are named relative to it: the name stored is what follows the last
// backslash, and a host path's slashes would make it one the reader refuses.
class WorkingDir {
public:
    explicit WorkingDir(const std::string& path);
    ~WorkingDir();
    WorkingDir(const WorkingDir&) = delete;
    WorkingDir& operator=(const WorkingDir&) = delete;

private:
    std::string m_saved;
};
