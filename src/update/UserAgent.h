#pragma once
// The User-Agent of the program's requests: "Veldrun/<version>" in front of
// the platform's own, so that a vendor's server logs tell the program's
// requests apart and still see the platform. Portable.

#include <cstddef>
#include <string>

constexpr std::size_t kMaxUserAgent = 256;

// "Veldrun/1.2.3.4 " and `platformAgent` (null or empty: "Veldrun/1.2.3.4"
// alone). Control characters of the platform's text are left out (the text
// goes into a request header), and it is cut at its last blank before the
// whole would pass kMaxUserAgent characters.
std::string composeUserAgent(const char* platformAgent);
