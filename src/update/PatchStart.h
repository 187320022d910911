#pragma once
// Starting the downloaded patch for the update window and, with "/w",
// waiting for its end. Windows only.

#include "common/FileHash.h"
#include "update/RunPlatform.h"

#include <windows.h>

#include <string>

// Starts commandLine (hidden when silent). `held`, the download held since
// its checks, is closed once the process exists or could not be made: what
// was checked is what is started. With wait, waits for the patch's end
// while answering this thread's messages (window disabled meanwhile,
// `waiting` true for that time; a WM_QUIT is kept for the end).
PatchStartResult startPatch(const std::string& commandLine, bool silent, bool wait, CHeldFile& held, HWND window,
                            bool& waiting);
