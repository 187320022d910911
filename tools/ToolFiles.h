#pragma once
// Whole-file reads and safe writes for the release tool. Paths are the
// platform's narrow paths.

#include <functional>
#include <string>

// Reads the whole file. False when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Writes bytes to a new file beside path and then puts it in place of
// path, so that a failed write never leaves path half written. False, with
// path unchanged and no file left beside it, on any failure.
// When verify is given, it is called with the new file's path before it
// takes path's place; false from it fails the replacement the same way.
bool replaceFile(const std::string& path, const std::string& bytes,
                 const std::function<bool(const std::string&)>& verify = nullptr);

// The part of a path after its last separator ("/" or "\").
std::string baseName(const std::string& path);

// The absolute form of path (against the working directory), or the empty
// text when it cannot be formed.
std::string absolutePath(const std::string& path);

// Makes dir the working directory for the object's life and puts the
// previous one back afterwards. The package code names an attachment by
// the part of its path after the last backslash and extracts relative to
// the working directory, so the tool hands it bare names from inside the
// right directory on every platform.
class CWorkingDirectory {
public:
    explicit CWorkingDirectory(const std::string& dir);
    ~CWorkingDirectory();
    CWorkingDirectory(const CWorkingDirectory&) = delete;
    CWorkingDirectory& operator=(const CWorkingDirectory&) = delete;
    bool ok() const { return m_bChanged; }

private:
    std::string m_previous;
    bool m_bChanged = false;
};
