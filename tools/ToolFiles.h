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
