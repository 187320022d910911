// vdrpack's entry point: the command line in, the command's output and its
// exit status out.
#include "ToolRun.h"

#include <cstdio>

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    ToolOutput io;
    int status = runVdrpack(args, io);
    std::fwrite(io.out.data(), 1, io.out.size(), stdout);
    std::fflush(stdout);
    std::fwrite(io.err.data(), 1, io.err.size(), stderr);
    return status;
}
