#pragma once
// The launcher's hand-over to the update window.

// Runs the update dialog modally for the extracted patch information file
// and returns the process exit status of the run (see app/ExitStatus.h).
int runUpdateDialog(const char* iniPath, bool silent, bool wait);
