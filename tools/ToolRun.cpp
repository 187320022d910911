#include "ToolRun.h"

#include "ToolArgs.h"
#include "ToolCommands.h"
#include "ToolFiles.h"
#include "ToolJson.h"

#include "VeldrunVersion.h"

namespace {

const char kHelp[] =
    "usage: vdrpack COMMAND [ARGS...]\n"
    "\n"
    "Builds and checks Veldrun update packages.\n"
    "\n"
    "commands:\n"
    "  lint PATCH.ini [--json]                   find the mistakes that break a package on every machine\n"
    "  build STUB.exe PATCH.ini -o PACKAGE.exe [--force]\n"
    "                                            make a package, as the program's builder mode does\n"
    "  inspect PACKAGE.exe [--json]              show whether a file is a package and its layout\n"
    "  extract PACKAGE.exe [-C DIR] [--force]    write the attached file into DIR\n"
    "  check PATCH.ini --registry STATE.reg [--all-builds] [--json] [--view 32|64] [--codepage N]\n"
    "                                            run the product check and build selection\n"
    "  pin PATCH.ini (--build N | --max) FILE    write the SHA-256 pin of a patch build\n"
    "  publish PATCH.ini [--build N FILE]... [--max FILE] --to DIR\n"
    "                                            lay out the server tree the run requests, and pin it\n"
    "  signer FILE.exe [--json]                  show the certificate that signed a program (for Signer=)\n"
    "  schema result                             print the JSON Schema of a package's /result document\n"
    "\n"
    "\"vdrpack help COMMAND\" (or \"vdrpack COMMAND --help\") describes a command;\n"
    "\"vdrpack --version\" prints the version.\n"
    "\n"
    "exit status: 0 done; 1 the patch information file has errors; 2 bad command line;\n"
    "3 an input file cannot be read; 4 not a package (signer: not signed); 5 damaged or malformed input;\n"
    "6 an output file cannot be written; 7 refused for safety;\n"
    "check: 10 product error, 11 patch error, 12 already applied.\n";

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&, ToolOutput&);
};

const Command kCommands[] = {
    {"lint", runLint}, {"build", runBuild},   {"inspect", runInspect}, {"extract", runExtract}, {"check", runCheck},
    {"pin", runPin},   {"signer", runSigner}, {"schema", runSchema},   {"publish", runPublish},
};

const Command* commandNamed(const std::string& name)
{
    for (const Command& c : kCommands)
        if (name == c.name)
            return &c;
    return nullptr;
}

const char* errorCode(int status)
{
    switch (status) {
    case kToolUsage:
        return "usage";
    case kToolUnreadable:
        return "unreadable";
    case kToolNotPackage:
        return "not-a-package";
    case kToolMalformed:
        return "malformed";
    case kToolWriteFailed:
        return "write-failed";
    default:
        return "refused";
    }
}

} // namespace

int toolError(ToolOutput& io, int status, const std::string& what, const std::string& reason)
{
    io.err += "vdrpack: " + what + ": " + reason + "\n";
    if (io.bJson) {
        Json j{{"schema", kJsonSchema},
               {"error", Json{{"code", errorCode(status)}, {"message", jsonText(what + ": " + reason)}}}};
        io.out = jsonDump(j);
    }
    return status;
}

int usageError(ToolOutput& io, const char* command, const std::string& message, const char* usage)
{
    toolError(io, kToolUsage, command, message);
    io.err += usage;
    return kToolUsage;
}

int beginCommand(CToolArgs& a, const std::vector<std::string>& args, const std::vector<std::string>& flags,
                 const std::vector<std::string>& valued, ToolOutput& io, const char* command, const char* usage,
                 const char* help)
{
    for (const std::string& arg : args)
        io.bJson = io.bJson || arg == "--json";
    if (!a.parse(args, flags, valued))
        return usageError(io, command, a.error(), usage);
    if (a.help()) {
        io.out += help;
        return kToolOk;
    }
    return -1;
}

int beginFileCommand(CToolArgs& a, const std::vector<std::string>& args, ToolOutput& io, const char* command,
                     const char* usage, const char* help, const char* what, std::string& bytes)
{
    int status = beginCommand(a, args, {"--json"}, {}, io, command, usage, help);
    if (status >= 0)
        return status;
    if (a.positional().size() != 1)
        return usageError(io, command, std::string("needs one ") + what, usage);
    if (!readWholeFile(a.positional()[0], bytes))
        return toolError(io, kToolUnreadable, a.positional()[0], "cannot read the file");
    return -1;
}

int runVdrpack(const std::vector<std::string>& args, ToolOutput& io)
{
    if (args.empty()) {
        io.err += kHelp;
        return kToolUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "/?" || (name == "help" && args.size() == 1)) {
        io.out += kHelp;
        return kToolOk;
    }
    if (name == "--version") {
        io.out += "vdrpack " VELDRUN_VERSION_TEXT "\n";
        return kToolOk;
    }
    if (name == "help") {
        const Command* c = commandNamed(args[1]);
        if (c)
            return c->run({"--help"}, io);
        io.err += "vdrpack: help: unknown command \"" + args[1] + "\"\n\n" + kHelp;
        return kToolUsage;
    }
    if (const Command* c = commandNamed(name))
        return c->run(std::vector<std::string>(args.begin() + 1, args.end()), io);
    io.err += "vdrpack: unknown command \"" + name + "\"\n\n" + kHelp;
    return kToolUsage;
}
