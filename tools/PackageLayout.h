#pragma once
// The layout of an update package as the release tool reports it: where
// the executable ends, what is attached, and what follows the trailer
// (typically a code-signing certificate table that the executable's own
// header points to). Portable; reads bytes already in memory.

#include <cstdint>
#include <string>

struct PackageLayout {
    std::int64_t fileSize = 0;
    std::int64_t exeSize = 0; // S: the executable's bytes
    std::string name;         // the attached file's stored name
    std::int64_t contentOffset = 0;
    std::int64_t contentSize = 0; // L
    std::int64_t trailing = 0;    // T: bytes after the marker field
    bool bSignature = false;      // the executable's header points at a certificate table inside them
    std::int64_t sigOffset = 0;
    std::int64_t sigSize = 0;
};

enum PackageLayoutResult {
    kLayoutOk = 0,
    kLayoutDamaged = 1, // the start offset or name length lead outside the package
};

// Reads the trailer of a package whose marker field ends `trailing` bytes
// before the end of bytes (as the package reader's marker search found it).
int readPackageLayout(const std::string& bytes, std::int64_t trailing, PackageLayout& layout);
