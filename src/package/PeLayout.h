#pragma once
// Where things are in a Windows program's file (PE format), as far as the
// package needs it: the end of the headers the loader maps, the image base
// field the loader may rewrite, and the certificate table (the optional
// header's security directory: a file offset and a size). Portable; every
// offset is checked against the bytes given.

#include <cstddef>
#include <cstdint>

struct PeLayout {
    std::int64_t headersEnd = 0; // end of the section table
    std::int64_t sizeOfHeaders = 0;
    std::int64_t imageBaseAt = 0; // the image base field: 4 bytes (PE32) or 8 (PE32+)
    int imageBaseLen = 0;
    bool hasCertTable = false; // a non-empty security directory entry
    std::int64_t certAt = 0;   // as stored (a file offset)
    std::int64_t certSize = 0;
};

// Reads the layout of the `size` bytes at data (the file's start or all of
// it). False when they are not a PE file's headers.
bool readPeLayout(const unsigned char* data, std::int64_t size, PeLayout& out);

// True when the headers the loader mapped (`loaded`, at least the headers'
// bytes) are those of the file (`file`, `fileSize` bytes): the same bytes
// from the start to the end of the section table, the image base field
// aside (the loader writes the address it chose there). That covers the
// checksum, the certificate table's place and size, and every section.
bool sameLoadedHeaders(const unsigned char* loaded, std::int64_t loadedSize, const unsigned char* file,
                       std::int64_t fileSize);

// The end of the region where a package trailer may lie in a file of
// `size` bytes whose first `headLen` bytes are at head. A signed file's
// certificate table is left out of its signature's digest, so bytes inside
// or after it can be added without breaking the signature: for a file with
// a certificate table the region ends where the table begins (-1 when the
// table's place lies past the file's end); for any other file it is the
// whole file. A table that does not lie inside the file leaves no region
// (-1). hasTable (may be null) tells which case applies.
std::int64_t trailerRegionEnd(const unsigned char* head, std::int64_t headLen, std::int64_t size,
                              bool* hasTable = nullptr);

// How many zero bytes may lie between a trailer's end and the certificate
// table (the alignment a signing tool adds).
constexpr std::int64_t kCertAlignment = 8;
