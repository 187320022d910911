#pragma once
// Whole-file reads and safe writes for the release tool. Paths are the
// platform's narrow paths.

#include <string>

// Reads the whole file. False when it cannot be opened or read.
bool readWholeFile(const std::string& path, std::string& bytes);

// Writes bytes to a new file beside path and then puts it in place of
// path, so that a failed write never leaves path half written. False, with
// path unchanged and no file left beside it, on any failure.
bool replaceFile(const std::string& path, const std::string& bytes);

// The part of a path after its last separator ("/" or "\").
std::string baseName(const std::string& path);
