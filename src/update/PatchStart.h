#pragma once
// Starting the downloaded patch for the update window and, with "/w",
// waiting for its end. Windows only.

#include "common/FileHash.h"

#include <windows.h>

#include <string>

// What became of the patch's start.
struct PatchStartResult {
    bool started = false;
    unsigned long error = 0;    // the platform's error when it could not be started
    unsigned long exitCode = 0; // its exit code, once waited for
};

// Starts commandLine (hidden when silent). `held`, the download held since
// its checks, is closed once the process exists or could not be made: what
// was checked is what is started. With wait, waits for the patch's end
// while answering this thread's messages (window disabled meanwhile,
// `waiting` true for that time; a WM_QUIT is kept for the end).
PatchStartResult startPatch(const std::string& commandLine, bool silent, bool wait, CHeldFile& held, HWND window,
                            bool& waiting);
