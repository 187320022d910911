#pragma once
// Starting the downloaded patch for the update window and, with "/w",
// waiting for its end. Windows only.

#include "common/FileHash.h"
#include "update/RunPlatform.h"

#include <windows.h>

#include <string>

// Starts the held download (hidden when silent) with commandLine. `held`,
// the download held since its checks, is what is started: by the path the
// platform gives for the held file, which must lie in runDir (the run's
// folder, ending in a backslash), never by a name given before; it is
// closed once the process exists or could not be made. The patch works in
// runDir, with the environment of PatchEnvironment.h ("tmp" in runDir as
// TEMP and TMP). With wait, waits for the patch's end
// while answering this thread's messages (window disabled meanwhile,
// `waiting` true for that time; a WM_QUIT is kept for the end).
PatchStartResult startPatch(const std::string& commandLine, const char* runDir, bool silent, bool wait, CHeldFile& held,
                            HWND window, bool& waiting);
