#pragma once
// Bounded writes into the fixed text buffers the program uses (260 bytes
// for paths, URLs and values). Nothing here ever writes past `cap`, and
// every result says whether the whole text fitted, so that callers can
// refuse a text instead of silently using a cut one.

#include <cstddef>

enum { kMaxText = 260 }; // buffer size of paths, URLs and values, terminator included

// Copies src into dst (cap bytes, cap > 0), always terminated. Returns true
// when all of src fitted; false when it was cut.
bool copyBounded(char* dst, std::size_t cap, const char* src);

// snprintf into dst, always terminated. Returns true when the whole text
// fitted, false when it was cut or the format failed.
bool formatBounded(char* dst, std::size_t cap, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;

// UTF-16 variant of copyBounded over char16_t-sized units.
bool copyBoundedW(char16_t* dst, std::size_t cap, const char16_t* src);
