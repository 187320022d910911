#pragma once
// What the parts of the registry export reader share.

#include <string>

constexpr unsigned kCodePageDefault = 1252; // Western European, the reader's default
constexpr unsigned kCodePageUtf8 = 65001;

// The ANSI code pages UTF-16 text can be narrowed to: 1250, 1251, 1252 and
// UTF-8 (65001, Windows' "Unicode UTF-8 for worldwide language support").
bool isNarrowCodePage(unsigned codePage);
// The Unicode code point cp appended to out in codePage: "?" where the page
// has no such character; in UTF-8, U+FFFD for a surrogate of no pair.
void appendNarrow(std::string& out, unsigned cp, unsigned codePage);
