#include "ToolTestRun.h"

ToolResult runTool(const std::vector<std::string>& args)
{
    ToolOutput io;
    int status = runVdrpack(args, io);
    return ToolResult{status, io.out, io.err};
}
