#pragma once
// The SHA-256 digest of a whole file. Windows builds hash with the
// platform's CNG (BCrypt) provider (FileHash_win.cpp); host builds with
// CSha256 (FileHash_host.cpp). Both read the file in bounded chunks.

#include "common/Sha256.h"

// True, with digest set, when the file could be opened and read to its
// end; false otherwise (digest is then unspecified).
bool sha256OfFile(const char* path, unsigned char digest[kSha256Size]);
