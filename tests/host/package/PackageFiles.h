#pragma once
// Package pieces for the tests: the marker, little-endian fields and
// packages composed by hand (file helpers in TestFiles.h).

#include "TestFiles.h"

#include <cstdint>
#include <string>

// The marker text, composed like the program does (never as one literal).
std::string markerText();

// The 20-byte marker field with the given last byte.
Bytes markerField(unsigned char last = 0);

Bytes le32(std::uint32_t v);
Bytes pseudoRandomBytes(std::size_t n, std::uint32_t seed);

// A package: exe, then a trailer for `name` and `content`, then `trailing`.
// startOffset < 0 stores the true start; nameLen < 0 the true length.
Bytes composePackage(const Bytes& exe, const Bytes& name, const Bytes& content, const Bytes& trailing = "",
                     std::int64_t startOffset = -1, std::int64_t nameLen = -1);

// The headers of a small program file (PE32 or PE32+), 512 bytes: one
// section, sixteen data directories, no certificate table.
Bytes minimalPe(bool wide);
// Offset of the security directory entry (file offset, then size) in it.
std::size_t securityEntryAt(bool wide);
// Writes the certificate table's place and size into the headers.
void setCertTable(Bytes& pe, bool wide, std::uint32_t at, std::uint32_t size);
