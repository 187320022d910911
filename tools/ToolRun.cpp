#include "ToolRun.h"

#include "ToolCommands.h"

#include "ToolArgs.h"

#include <cstring>

namespace {

const char kHelp[] = "usage: vdrpack COMMAND [ARGS...]\n"
                     "\n"
                     "Builds and checks Veldrun update packages.\n"
                     "\n"
                     "commands:\n"
                     "  build STUB.exe PATCH.ini -o PACKAGE.exe   make a package, as the program's builder mode does\n"
                     "  inspect PACKAGE.exe [--json]              show whether a file is a package and its layout\n"
                     "  extract PACKAGE.exe [-C DIR]              write the attached file into DIR\n"
                     "  check PATCH.ini --registry STATE.reg [--all-builds] [--json]\n"
                     "                                            run the product check and build selection\n"
                     "  pin PATCH.ini (--build N | --max) FILE    write the SHA-256 pin of a patch build\n"
                     "\n"
                     "\"vdrpack COMMAND --help\" describes a command.\n"
                     "\n"
                     "exit status: 0 done; 1 check found entries that can never match; 2 bad command line;\n"
                     "3 an input file cannot be read; 4 not a package; 5 damaged or malformed input;\n"
                     "6 an output file cannot be written; 7 refused for safety.\n";

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&, ToolOutput&);
};

const Command kCommands[] = {
    {"build", runBuild}, {"inspect", runInspect}, {"extract", runExtract}, {"check", runCheck}, {"pin", runPin},
};

} // namespace

int usageError(ToolOutput& io, const char* command, const std::string& message, const char* usage)
{
    io.err += std::string("vdrpack ") + command + ": " + message + "\n" + usage;
    return kToolUsage;
}

int beginCommand(CToolArgs& a, const std::vector<std::string>& args, const std::vector<std::string>& flags,
                 const std::vector<std::string>& valued, ToolOutput& io, const char* command, const char* usage,
                 const char* help)
{
    if (!a.parse(args, flags, valued))
        return usageError(io, command, a.error(), usage);
    if (a.help()) {
        io.out += help;
        return kToolOk;
    }
    return -1;
}

int runVdrpack(const std::vector<std::string>& args, ToolOutput& io)
{
    if (args.empty()) {
        io.err += kHelp;
        return kToolUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
        io.out += kHelp;
        return kToolOk;
    }
    for (const Command& c : kCommands) {
        if (name == c.name)
            return c.run(std::vector<std::string>(args.begin() + 1, args.end()), io);
    }
    io.err += "vdrpack: unknown command \"" + name + "\"\n\n" + kHelp;
    return kToolUsage;
}
