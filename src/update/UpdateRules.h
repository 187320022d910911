#pragma once
// The texts an update run composes: the download URLs, the single
// fallback's rule and the patch's command line. Portable; no platform
// headers. The run's decisions are CRunDriver's (RunDriver.h).

#include <cstddef>

enum { kCommandLineSize = 2048 }; // buffer of the started patch's command line

// The first download URL for the selection result `id` of getSRIdFromFile:
// "%s/max/%s.exe" for the generic build (-1), otherwise "%s/%d/%s.exe". The server value
// and the SR number are used as written. Returns false, with out emptied,
// when the URL would not fit in `cap` bytes: a cut URL is never used.
bool composeFirstURL(char* out, std::size_t cap, const char* server, int id, const char* srNo);

// The fallback URL "%s/Max/%s.exe" (capital "Max"); false, out emptied,
// when it would not fit.
bool composeFallbackURL(char* out, std::size_t cap, const char* server, const char* srNo);

// Whether a failed first download may fall back to "Max": not when the
// first URL already was the generic build's folder.
bool firstDownloadAllowsFallback(int id);

// What the patch is started with: in a silent run [SRInfo] "SilentArgs"
// ("/s" when missing or empty), otherwise "Args" (nothing when missing).
// Either is passed as written.
const char* patchArguments(bool silent, const char* silentArgs, const char* args);

// The patch's command line: the quoted local path, one blank, then the
// arguments (patchArguments). False, out emptied, when it would not fit.
bool composePatchCommandLine(char* out, std::size_t cap, const char* localPath, const char* arguments);
