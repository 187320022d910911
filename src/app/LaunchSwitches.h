#pragma once
// The update-mode switches: "/s" or "-s" (silent) and "/w" or "-w" (wait).

#include <cstdio>

struct LaunchSwitches {
    bool silent = false;
    bool wait = false;
};

// Scans every argument, the first (the program name) included. An argument
// counts when it equals a switch as a whole, without regard to case; any
// other argument is ignored. Null entries (arguments that could not be
// converted to narrow text) are skipped.
LaunchSwitches scanSwitches(const char* const* args, int count);

// Writes the builder's three-line usage text for programName to out.
void printUsage(std::FILE* out, const char* programName);
