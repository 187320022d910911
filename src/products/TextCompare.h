#pragma once
// Equality of two narrow texts without regard to case. On Windows this is
// lstrcmpiA (the user's locale) giving 0; on the host ASCII case folding,
// which is the same for the plain ASCII names, versions and "1" it compares.

bool textEqualNoCase(const char* a, const char* b);
