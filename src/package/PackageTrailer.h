#pragma once
// The package trailer's sizes and its 32-bit little-endian integers, shared
// by the package reader and writer and by the release tool's layout report
// (see PatchPackage.h for the whole layout). Portable.

#include <cstddef>
#include <cstdint>

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
