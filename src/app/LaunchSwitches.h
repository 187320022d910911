#pragma once
// The update-mode switches: "/s" or "-s" (silent), "/w" or "-w" (wait),
// "/log FILE" or "-log FILE" (the run's log file), "/result FILE" (the run's
// result document), "/verbose" (the internal lines in the log too) and "/?"
// and its kin.

#include <cstdio>
#include <string>

struct LaunchSwitches {
    bool silent = false;
    bool wait = false;
    bool help = false;              // "/?", "-?", "/h", "-h", "/help" or "-help"
    int logFile = -1;               // index of the log file's argument, -1 for none
    bool logWithoutFile = false;    // "/log" was the last argument: ignored
    int resultFile = -1;            // index of the result file's argument, -1 for none
    bool resultWithoutFile = false; // "/result" was the last argument: ignored
    bool verbose = false;           // "/verbose" or "-verbose"
};

// Scans every argument, the first (the program name) included. An argument
// counts when it equals a switch as a whole, without regard to case; any
// other argument is ignored (after the program name, each is traced as
// "[Veldrun] Argument ignored: %s\n"). The argument after "/log" is the log
// file (whatever it holds; it is not read as a switch), and the same for
// "/result"; with several, the last counts. Null entries (arguments that could not be converted to
// narrow text) are skipped, but one may be the log file.
LaunchSwitches scanSwitches(const char* const* args, int count);

// Whether arg is one of the update switches or asks for help: a first
// argument of builder mode that is one was meant for a package, so builder
// mode shows its usage and writes nothing.
bool isLaunchSwitch(const char* arg);

// Update mode's switches (the answer to "/?") for a package whose attached
// patch information file has the bytes `attached` (empty when it cannot be
// read): "/s" says what a silent run passes to the patch, [SRInfo]
// SilentArgs when the file sets it.
std::string switchesText(const std::string& attached);

// Writes the builder's three-line usage text for programName to out.
void printUsage(std::FILE* out, const char* programName);
