#pragma once
// The hand-over from start-up to the update dialog: the one place where the
// dialog is constructed, given the launch settings, run modally and
// destroyed.

// iniPath: the extracted patch information file (empty when nothing was
// extracted); silent: "/s" or "-s" was given; wait: "/w" or "-w" was given.
// Returns the process exit status (an UpdateExitStatus, or the started
// patch's exit code after a wait).
int runUpdateDialog(const char* iniPath, bool silent, bool wait);
