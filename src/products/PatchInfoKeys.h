#pragma once
// The patch information file's schema: its section and key names, the
// shapes of its indexed keys, the entry limit and the build-key form. The
// program (product check, selection, pins, download settings) and vdrpack
// (lint, check, pin) read and write the file through these names only, so
// the two cannot drift. Names are matched without regard to case by the
// profile reader; they are written as given here. Portable.

#include <cstddef>
#include <cstdint>
#include <string>

// [RegPath]: the products the patch applies to, entries 0 .. Count - 1.
inline constexpr char kRegPathSection[] = "RegPath";
// [SRInfo]: the patch itself and its builds, entries 0 .. Count - 1.
inline constexpr char kSRInfoSection[] = "SRInfo";

// Keys of both sections.
inline constexpr char kCountKey[] = "Count"; // the number of entries (0 .. kMaxEntryCount)

// Indexed keys of [RegPath] ("Stem%d", see entryKeyName).
inline constexpr char kPathStem[] = "Path";             // registry key below the local-machine root
inline constexpr char kCheckStem[] = "Check";           // the identity expected, "name version"
inline constexpr char kNoVerCheckStem[] = "NoVerCheck"; // "1" exempts the entry from the identity check

// Plain keys of [SRInfo].
inline constexpr char kURLKey[] = "URL";   // the server folder the builds are fetched from
inline constexpr char kSRNoKey[] = "SRNo"; // the patch's SR number
inline constexpr char kPIDKey[] = "PID";
inline constexpr char kStallSecondsKey[] = "StallSeconds";       // bound on a download that makes no progress
inline constexpr char kDownloadSecondsKey[] = "DownloadSeconds"; // bound on a whole download
inline constexpr char kSilentArgsKey[] = "SilentArgs";           // the patch's arguments for a silent run
inline constexpr char kArgsKey[] = "Args";                       // the patch's arguments otherwise
inline constexpr char kSignerKey[] = "Signer";                   // "package" or a certificate's SHA-256

// StallSeconds: how long a download may go without a progress report; a
// value outside 5..3600 (or none) means 60.
enum { kStallSecondsDefault = 60, kStallSecondsMin = 5, kStallSecondsMax = 3600 };
// DownloadSeconds: how long one download may take as a whole (a server that
// trickles a few bytes now and then never stalls); a value outside
// 10..86400 (or none) means 14400.
enum { kDownloadSecondsDefault = 14400, kDownloadSecondsMin = 10, kDownloadSecondsMax = 86400 };

// A key of seconds with its bounds and the default used outside them.
struct SecondsKey {
    const char* key;
    int min, max, def;
};
inline constexpr SecondsKey kStallSeconds = {kStallSecondsKey, kStallSecondsMin, kStallSecondsMax,
                                             kStallSecondsDefault};
inline constexpr SecondsKey kDownloadSeconds = {kDownloadSecondsKey, kDownloadSecondsMin, kDownloadSecondsMax,
                                                kDownloadSecondsDefault};
// Whether a value as the profile reader reads an integer (its leading
// digits: "120s" reads 120, no digits read 0) lies within the key's bounds.
bool secondsInRange(const SecondsKey& seconds, int read);
// The seconds the program uses for that value: the value within the
// bounds, else the default. The program and vdrpack lint both ask here.
int secondsUsed(const SecondsKey& seconds, int read);

// Indexed keys of [SRInfo]: "Info%d" lists the build keys server folder %d
// serves; the pins "SHA256%d" and "Size%d" hold that build's digest and
// size, "SHA256Max" and "SizeMax" those of the generic build.
inline constexpr char kInfoStem[] = "Info";
inline constexpr char kPinStem[] = "SHA256";
inline constexpr char kSizeStem[] = "Size";
inline constexpr char kPinMaxKey[] = "SHA256Max";
inline constexpr char kSizeMaxKey[] = "SizeMax";
// The largest size a size pin may give (2 GiB), which also bounds a
// download without one.
inline constexpr std::uint64_t kMaxSizePin = 2ull * 1024 * 1024 * 1024;

enum {
    // A "Count" above this (or below 0) makes the file malformed.
    kMaxEntryCount = 1000,
    // The index that selection reports as "already applied": an Info entry
    // there is never downloaded, and no build is pinned for its folder.
    kAlreadyAppliedIndex = 999,
    // The folder of the generic build in pin and size key names.
    kPinFolderMax = -1,
    // Buffer for any key name of the file (stems are short, indices below
    // kMaxEntryCount; the longest index of an int still fits).
    kKeyNameSize = 32,
};

// The number of entries a "Count" value lets the readers visit: the value
// itself limited to 0 .. kMaxEntryCount.
int clampEntryCount(int count);
// Whether a "Count" value lies in 0 .. kMaxEntryCount.
bool entryCountFits(int count);

// The indexed key "Stem%d" (decimal, no leading zeros) into out (cap bytes,
// at least kKeyNameSize).
void entryKeyName(const char* stem, int index, char* out, std::size_t cap);
// The same as a string.
std::string entryKey(const char* stem, int index);

// The pin key of a folder ("SHA256%d", or "SHA256Max" for kPinFolderMax)
// into out (cap bytes, at least kKeyNameSize).
void pinKeyName(int folder, char* out, std::size_t cap);
// The size key of a folder ("Size%d", or "SizeMax" for kPinFolderMax) the
// same way.
void sizeKeyName(int folder, char* out, std::size_t cap);

// The build key of a product as the Info values list it:
// "name#SR number#SR build version".
std::string buildKey(const char* name, const char* srNo, const char* srVer);
// Whether text has the form of a build key: three parts, none empty,
// separated by exactly two '#'.
bool isBuildKeyForm(const std::string& text);
