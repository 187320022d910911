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
    if (!std::filesystem::is_regular_file(full, ec))
        return toolError(io, kToolUnreadable, path, "cannot read the file");
    CPatchPackage package(full.c_str());
    if (full.size() >= sizeof package.packagePath)
        return toolError(io, kToolUnreadable, path, "the full path is too long for the package reader");
    if (package.checkSignature() != 1)
        return toolError(io, kToolNotPackage, path, "is not a package (no package trailer)");
    if (!std::filesystem::is_directory(dir, ec))
        return toolError(io, kToolWriteFailed, dir, "is not a directory");
    CWorkingDirectory cwd(dir);
    if (!cwd.ok())
        return toolError(io, kToolWriteFailed, dir, "cannot enter the directory");
    char written[kMaxText] = {};
    int r = package.detachFile(nullptr, written, sizeof written);
    switch (r) {
    case kDetachDone:
        io.out += "extracted " + std::string(written) + " into " + dir + "\n";
        return kToolOk;
    case kDetachPackageOpen:
        return toolError(io, kToolUnreadable, path, "cannot read the file");
    case kDetachNameRefused:
        return toolError(io, kToolRefused, path, "carries a name the program refuses; nothing written");
    case kDetachNoTrailer:
    case kDetachBadStart:
        return toolError(io, kToolMalformed, path, "has a damaged package trailer");
    default:
        return toolError(io, kToolWriteFailed, dir, "cannot write the attached file into the directory");
    }
}
