#pragma once
// vdrpack: the release tool for publishers. It builds, inspects and
// extracts update packages, lints patch information files, runs the
// program's product check and build selection against a registry export,
// and writes integrity pins into patch information files. It is built from
// the program's own portable code on every platform (native, win64, win32),
// so its answers cannot drift from what the program does.

#include <string>
#include <vector>

// Exit statuses of vdrpack, the same for every command.
enum ToolStatus {
    kToolOk = 0,
    kToolFindings = 1,    // lint, check --all-builds: an error in the patch information file
    kToolUsage = 2,       // bad command line
    kToolUnreadable = 3,  // an input file cannot be opened or read
    kToolNotPackage = 4,  // the file carries no package trailer
    kToolMalformed = 5,   // a damaged package, a stub that is no program, a patch information file with errors
    kToolWriteFailed = 6, // an output file cannot be written, or did not read back as written
    kToolRefused = 7,     // refused for safety: an unsafe attached name, a package where a plain file belongs,
                          // a signed stub
    // check: the outcome of the run when no build would be fetched.
    kToolProductError = 10,
    kToolPatchError = 11,
    kToolAlreadyApplied = 12,
};

// What a command prints: the result on out, messages on err.
struct ToolOutput {
    std::string out;
    std::string err;
    bool bJson = false; // the command was asked for JSON: failures print a JSON error object on out
};

// Runs the command line without the program name. Returns a ToolStatus.
int runVdrpack(const std::vector<std::string>& args, ToolOutput& io);
