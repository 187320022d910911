#pragma once
// Reading the patch information file, an initialization file in the
// platform's private-profile form. The portable code reads it only through
// IProfileReader. The update run reads the bytes it extracted, once
// (CHeldProfileReader, HeldProfile.h); vdrpack reads files by name, on
// Windows through the platform's reader (GetPrivateProfile*A), on the host
// through our own CIniFileReader. All give the same results for every form
// the file uses.

class IProfileReader {
public:
    virtual ~IProfileReader() = default;

    // The key's value as an integer read from its leading digits; `def` when
    // the file, the section or the key is missing, or the value is empty. The
    // result is signed: callers use it only as the exclusive upper bound of an
    // index loop that starts at 0, so a negative count means no entries.
    virtual int getInt(const char* section, const char* key, int def, const char* path) const = 0;

    // Copies the key's value, trimmed, cut to size - 1 characters and always
    // terminated, into buffer (size > 0); copies `def` (cut the same way) when
    // the file, the section or the key is missing. Section and key names are
    // matched without regard to case.
    virtual void getString(const char* section, const char* key, const char* def, char* buffer, unsigned size,
                           const char* path) const = 0;
};

// The reader of the platform this program runs on (Profile_win.cpp or
// Profile_host.cpp).
const IProfileReader& platformProfile();
