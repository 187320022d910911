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
    kLayoutDamaged = 1, // no marker where trailing puts it, or the start offset or name length
                        // lead outside the package (the program's reader refuses it the same)
};

// Reads the trailer of a package whose marker field ends `trailing` bytes
// before the end of bytes (as the package reader's marker search found it),
// with the package reader's own trailer reading (readTrailer).
int readPackageLayout(const std::string& bytes, std::int64_t trailing, const char* marker, PackageLayout& layout);

// Offset of the PE header ("PE\0\0") that the first exeSize bytes point
// to, or -1 when they are no Windows program.
std::int64_t peHeaderOffset(const std::string& bytes, std::int64_t exeSize);

// True when the program's header points at a certificate table: it has
// been code-signed, and bytes appended to it break that signature.
bool carriesSignatureTable(const std::string& bytes);

// True when the file at path (whose bytes are given) is a Windows program
// or an update package: never a patch information file.
bool isProgramOrPackage(const std::string& path, const std::string& bytes);
