#pragma once
// Integrity pins of patch builds. A patch information file may carry, in
// [SRInfo], the SHA-256 of the build each server folder holds: "SHA256%d"
// for the numbered folder %d (indexed like "Info%d") and "SHA256Max" for the
// generic build in the max folder, which the fallback fetches too. When the
// key for the folder being downloaded is present, the download is started
// only if its digest matches; otherwise it counts as no file. Without the
// key nothing changes. Portable.

#include "common/FileHash.h"
#include "common/Sha256.h"
#include "products/PatchInfoKeys.h"
#include "products/Profile.h"

#include <cstddef>
#include <cstdint>

// The key names (pinKeyName, sizeKeyName) and kPinFolderMax, the max
// folder of the generic build and the fallback, are the file's schema
// (products/PatchInfoKeys.h).
enum {
    kPinKeySize = kKeyNameSize, // buffer for a pin key name
};

// Results of judgePin and checkDownloadPin.
enum PinVerdict {
    kPinNone = 0,     // no pin for the folder (key missing or empty): the download counts as it is
    kPinMatch = 1,    // the download's digest equals the pin
    kPinMismatch = 2, // a different digest, a pin that is not 64 hex digits, or a file that could not be read
};

// The folder a download comes from: the max folder for the generic build
// (selection -1) and for the fallback, otherwise the selected folder.
int pinFolderFor(int srId, bool fallback);

// Judges a download against the pin's value (trimmed text; empty for no
// pin). digest is null when the download could not be hashed.
int judgePin(const char* pinText, const unsigned char* digest);

// Judges a download of `folder` against its pin's text (not empty) from
// its digest (null: unreadable), and traces the verdict:
// "[Veldrun] checkDownloadPin => pin %s matched\n" or
// "[Veldrun] checkDownloadPin => pin %s did not match: expected %s, got %s\n".
// Nothing is removed here: the run's driver has a refused download removed.
int judgeFolderPin(int folder, const char* pinText, const unsigned char* digest);

// The same for the file at localPath against the pin of its folder in the
// patch information file, read through `profile` (nothing read, traced or judged without a pin).
// Returns a PinVerdict.
int checkDownloadPin(const IProfileReader& profile, const char* iniPath, int folder, const char* localPath);

// Size pins: [SRInfo] "Size%d" and "SizeMax", the build's size in bytes
// (decimal), written by vdrpack pin beside its SHA-256. A download of a
// folder with a size pin is stopped as soon as it passes that size or its
// server announces another length; without one, at kUnpinnedSizeLimit.
constexpr std::uint64_t kUnpinnedSizeLimit = kMaxSizePin;
// A size pin's value: decimal digits only, 1 to kUnpinnedSizeLimit. False
// for anything else.
bool parseSizePin(const char* text, std::uint64_t& size);
// The folder's size pin in the patch information file; 0 when there is
// none (a malformed one is traced and read as none: the SHA-256 pin still
// decides).
std::uint64_t sizePinFor(const IProfileReader& profile, const char* iniPath, int folder);

// Whether [SRInfo] carries any pin: "SHA256Max" or "SHA256%d" for a folder
// below its Count (counts above kMaxEntryCount are malformed and read no further).
// Once one is there, a download without a matching pin is never started.
bool hasAnyPin(const IProfileReader& profile, const char* iniPath);
