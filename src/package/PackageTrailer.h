#pragma once
// The package trailer's sizes, its 32-bit little-endian integers and the
// one reading of the trailer, shared by the package reader and writer and
// by the release tool's layout report (see PatchPackage.h for the whole
// layout). Portable.

#include <cstddef>
#include <cstdint>
#include <functional>

constexpr std::size_t kMarkerChars = 18;                // "!vdrsign!!vdrsign!", without terminator
constexpr std::size_t kMarkerField = 20;                // text, zero byte, one byte of no meaning
constexpr std::size_t kMarkerWindow = kMarkerChars + 1; // bytes a reader examines
constexpr std::int64_t kTrailerSize = 4 + kMarkerField; // start offset, marker field
constexpr std::int64_t kMaxPackage = 2147483647;

inline std::uint32_t readLe32(const unsigned char* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

inline std::uint16_t readLe16(const unsigned char* p)
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

inline void writeLe32(unsigned char* p, std::uint32_t v)
{
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

// Where the parts of a package lie, as its trailer gives them. Every part
// lies before the start-offset field.
struct TrailerFields {
    std::int64_t trailerAt = 0; // the start-offset field
    std::int64_t start = 0;     // S: the name-length field, that is the executable's size
    std::int64_t nameLen = 0;   // N
    std::int64_t nameAt() const { return start + 4; }
    std::int64_t contentAt() const { return start + 4 + nameLen; }
    std::int64_t contentSize() const { return trailerAt - contentAt(); }
};

// Results of readTrailer.
enum TrailerResult {
    kTrailerRead = 0,
    kTrailerNoMarker = 1, // no marker field trailingBytes before the end, or no room for the
                          // start-offset field before it
    kTrailerBadStart = 2, // the start offset (a signed 32-bit value) or the name length do not
                          // lead to a name-length field and a name that lie before the trailer
};

// Exactly n bytes of the package from offset at into buf; false when they
// are not all there or cannot be read.
using PackageReadAt = std::function<bool(std::int64_t at, void* buf, std::size_t n)>;

// Reads the trailer of a package of size bytes whose marker field ends
// trailingBytes before its end (as the marker search found it). Checks the
// marker there and that the start offset and the name length lead inside
// the package; fills fields only when it returns kTrailerRead.
int readTrailer(std::int64_t size, std::int64_t trailingBytes, const char* marker, const PackageReadAt& readAt,
                TrailerFields& fields);

// The same over a package's bytes in memory.
int readTrailer(const unsigned char* data, std::int64_t size, std::int64_t trailingBytes, const char* marker,
                TrailerFields& fields);
