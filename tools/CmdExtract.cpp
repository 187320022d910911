// vdrpack extract: writes the attached file, with the program's own reader
// and its safety rules (refused names, bounded paths).
#include "ToolCommands.h"

#include "ToolArgs.h"
#include "ToolFiles.h"

#include "package/PatchPackage.h"

#include <filesystem>

namespace {

const char kUsage[] = "usage: vdrpack extract PACKAGE.exe [-C DIR]\n";
const char kHelp[] = "usage: vdrpack extract PACKAGE.exe [-C DIR]\n"
                     "\n"
                     "Writes the file attached to PACKAGE.exe into DIR (default: the working directory) under its\n"
                     "stored name, replacing a file of that name, with the program's own reader: a stored name the\n"
                     "program refuses (empty, \".\", \"..\", or holding \\ / or :) is never written.\n";

} // namespace

int runExtract(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {}, {"-C"}, io, "extract", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 1)
        return usageError(io, "extract", "needs one PACKAGE.exe", kUsage);
    const std::string& path = a.positional()[0];
    std::string dir = a.has("-C") ? a.value("-C") : std::string(".");

    std::string full = absolutePath(path);
    std::error_code ec;
    if (!std::filesystem::is_regular_file(full, ec)) {
        io.err += "vdrpack extract: cannot read " + path + "\n";
        return kToolUnreadable;
    }
    CPatchPackage package(full.c_str());
    if (full.size() >= sizeof package.packagePath) {
        io.err += "vdrpack extract: the path of " + path + " is too long for the package reader\n";
        return kToolUnreadable;
    }
    if (package.checkSignature() != 1) {
        io.err += "vdrpack extract: " + path + " is not a package\n";
        return kToolNotPackage;
    }
    if (!std::filesystem::is_directory(dir, ec)) {
        io.err += "vdrpack extract: " + dir + " is not a directory\n";
        return kToolWriteFailed;
    }
    CWorkingDirectory cwd(dir);
    if (!cwd.ok()) {
        io.err += "vdrpack extract: cannot enter " + dir + "\n";
        return kToolWriteFailed;
    }
    char written[260] = {};
    int r = package.detachFile(nullptr, written, sizeof written);
    switch (r) {
    case kDetachDone:
        io.out += "extracted " + std::string(written) + " into " + dir + "\n";
        return kToolOk;
    case kDetachPackageOpen:
        io.err += "vdrpack extract: cannot read " + path + "\n";
        return kToolUnreadable;
    case kDetachNameRefused:
        io.err += "vdrpack extract: the package carries a name the program refuses; nothing written\n";
        return kToolRefused;
    case kDetachNoTrailer:
    case kDetachBadStart:
        io.err += "vdrpack extract: " + path + " has a damaged package trailer\n";
        return kToolMalformed;
    default:
        io.err += "vdrpack extract: cannot write the attached file into " + dir + "\n";
        return kToolWriteFailed;
    }
}
