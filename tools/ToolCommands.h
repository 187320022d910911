#pragma once
// One function per vdrpack command. Each takes the arguments after the
// command's name, prints to io and returns a ToolStatus; "--help" prints
// the command's help on out and returns kToolOk.

#include "ToolRun.h"

int runBuild(const std::vector<std::string>& args, ToolOutput& io);
int runInspect(const std::vector<std::string>& args, ToolOutput& io);
int runExtract(const std::vector<std::string>& args, ToolOutput& io);
int runCheck(const std::vector<std::string>& args, ToolOutput& io);
int runPin(const std::vector<std::string>& args, ToolOutput& io);

// Prints "vdrpack CMD: message" and the command's usage line on err;
// returns kToolUsage.
int usageError(ToolOutput& io, const char* command, const std::string& message, const char* usage);
