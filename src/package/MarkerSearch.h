#pragma once
// The backward search for a package's marker field. A window at offset o
// holds the marker when its 19 bytes are the marker's 18 characters and a
// zero byte (they compare equal to it as zero-terminated strings); the
// field's 20th byte must lie in the file too. Both searches give what a
// byte-by-byte search from the end gives. Portable.

#include <cstdint>
#include <cstdio>

// True when the 19 bytes at p are the marker's characters and a zero byte.
bool isMarkerAt(const unsigned char* p, const char* marker);

// Offset of the marker window nearest the end of the `size` bytes at data:
// the highest o <= size - 20 whose 19 bytes hold the marker; -1 when there
// is none.
std::int64_t lastMarkerIn(const unsigned char* data, std::int64_t size, const char* marker);

// The same over a stream of `size` bytes, read in large blocks from its end;
// -2 on a read error. Moves the stream's position.
std::int64_t lastMarkerInStream(std::FILE* f, std::int64_t size, const char* marker);
