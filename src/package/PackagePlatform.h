#pragma once
// What the patch package needs of the platform, apart from C streams:
// the running program's own file, whether a path exists, and cutting a
// file back to a size (to undo a failed append).

#include <cstddef>
#include <cstdint>

// Writes the full path of the running program's own file into buf (cap
// bytes, terminated). False, with buf empty, when the path cannot be
// read or does not fit.
bool packageOwnModulePath(char* buf, std::size_t cap);

// True for an existing file or directory.
bool packagePathExists(const char* path);

// Cuts the file at path back to size bytes. False when that failed.
bool packageTruncateFile(const char* path, std::int64_t size);
