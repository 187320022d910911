#pragma once
// The localized message strings: ids 101 to 109 (IDS_* in res/resource.h),
// carried by the program as string tables in 24 languages.

#include "common/FixedBuf.h" // kMaxText: a loaded text's buffer, in UTF-16 units, terminator included

// Loads string `id` as UTF-16 in the user's default language (the platform
// resolves language 0x400 to the user's table, or to its own fallback when
// the user's language has none) from the application's resource module.
// `buffer` holds kMaxText units that the caller has zero-filled:
// only the string's units are written, no terminator, so the caller's
// zeros terminate it. Returns 1 when the string was found and copied;
// 0 when there is no such block or string, or the block cannot be loaded,
// and then the buffer is left untouched.
int loadLangString(unsigned int id, wchar_t* buffer);
