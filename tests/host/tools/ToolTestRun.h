#pragma once
// Runs a vdrpack command in-process and captures its output and status.
// Scratch files come from the shared helpers (TestFiles.h).

#include "TestFiles.h"
#include "ToolRun.h"

#include <string>
#include <vector>

struct ToolResult {
    int status;
    std::string out;
    std::string err;
};

ToolResult runTool(const std::vector<std::string>& args);
