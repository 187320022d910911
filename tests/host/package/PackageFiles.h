#pragma once
// File helpers for the package tests: a private temporary directory, whole
// files as byte strings, and packages composed by hand.

#include <cstdint>
#include <string>

using Bytes = std::string;

// The marker text, composed like the program does (never as one literal).
std::string markerText();

// The 20-byte marker field with the given last byte.
Bytes markerField(unsigned char last = 0);

Bytes le32(std::uint32_t v);
Bytes pseudoRandomBytes(std::size_t n, std::uint32_t seed);

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& data);
bool fileExists(const std::string& path);

// A package: exe, then a trailer for `name` and `content`, then `trailing`.
// startOffset < 0 stores the true start; nameLen < 0 the true length.
Bytes composePackage(const Bytes& exe, const Bytes& name, const Bytes& content, const Bytes& trailing = "",
                     std::int64_t startOffset = -1, std::int64_t nameLen = -1);

// A fresh directory under /tmp, removed with everything in it at the end.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return m_path; }
    std::string file(const std::string& name) const { return m_path + "/" + name; }

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
