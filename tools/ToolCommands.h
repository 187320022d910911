#pragma once
// One function per vdrpack command. Each takes the arguments after the
// command's name, prints to io and returns a ToolStatus; "--help" prints
// the command's help on out and returns kToolOk.

#include "ToolJson.h"
#include "ToolRun.h"

#include <cstdint>

int runLint(const std::vector<std::string>& args, ToolOutput& io);
int runBuild(const std::vector<std::string>& args, ToolOutput& io);
int runInspect(const std::vector<std::string>& args, ToolOutput& io);
int runExtract(const std::vector<std::string>& args, ToolOutput& io);
int runCheck(const std::vector<std::string>& args, ToolOutput& io);
int runPin(const std::vector<std::string>& args, ToolOutput& io);
int runSigner(const std::vector<std::string>& args, ToolOutput& io);
int runSchema(const std::vector<std::string>& args, ToolOutput& io);
int runPublish(const std::vector<std::string>& args, ToolOutput& io);

class CToolArgs;

// A build's pin: its folder (kPinFolderMax for the generic build), SHA-256
// in hex and size.
struct BuildPin {
    int folder;
    std::string sha256;
    std::uint64_t size;
};
// Writes every pin into [SRInfo] of iniPath in one in-place edit (FileEdit.h),
// read back with the program's reader before it replaces the file; prints
// each pin, or the error (CmdPin.cpp). Returns a ToolStatus.
int writePins(const std::string& iniPath, const std::vector<BuildPin>& pins, ToolOutput& io);
// A folder number as the program forms it: decimal digits, no leading zeros.
bool parseFolder(const std::string& text, int& folder);

// The start every command shares: parses args into a (flags and valued as
// for CToolArgs::parse) and answers --help. Returns -1 when the command is
// to go on, otherwise the status to return (kToolOk after the help,
// kToolUsage after a usage error).
int beginCommand(CToolArgs& a, const std::vector<std::string>& args, const std::vector<std::string>& flags,
                 const std::vector<std::string>& valued, ToolOutput& io, const char* command, const char* usage,
                 const char* help);

// The start of a command over one file with an optional --json (lint,
// inspect, signer): beginCommand, then exactly one FILE (else a usage error
// saying "needs one <what>"), read whole into bytes. Returns -1 when the
// command is to go on, otherwise the status to return.
int beginFileCommand(CToolArgs& a, const std::vector<std::string>& args, ToolOutput& io, const char* command,
                     const char* usage, const char* help, const char* what, std::string& bytes);

// Prints "vdrpack: CMD: message" and the command's usage line on err (and
// the JSON error object on out when JSON was asked for); returns kToolUsage.
int usageError(ToolOutput& io, const char* command, const std::string& message, const char* usage);

// Reports a failure as "vdrpack: WHAT: reason" on err, WHAT being the file
// concerned (or the command); when JSON was asked for, out becomes the
// document {"schema": 1, "error": {"code": ..., "message": ...}}. Returns
// status.
int toolError(ToolOutput& io, int status, const std::string& what, const std::string& reason);

// The lint's findings as text lines ("PATH:LINE: severity [code] message"
// and the fix), as a count line, and as a JSON array (CmdLint.cpp).
struct LintFinding;
std::string lintText(const std::string& path, const std::vector<LintFinding>& findings);
std::string lintSummary(const std::vector<LintFinding>& findings);
Json lintJson(const std::vector<LintFinding>& findings);
