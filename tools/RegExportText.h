#pragma once
// What the parts of the registry export reader share.

// A Unicode code point as a Windows-1252 byte, "?" outside the code page.
char narrowCp1252(unsigned cp);
