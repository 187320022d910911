// vdrpack build: the package builder mode writes, from a stub (the plain
// program) instead of the running program itself.
#include "ToolCommands.h"

#include "ToolArgs.h"
#include "ToolFiles.h"

#include "app/Builder.h"
#include "app/ExitStatus.h"
#include "package/PatchPackage.h"

#include <cstdio>
#include <filesystem>

namespace {

const char kUsage[] = "usage: vdrpack build STUB.exe PATCH.ini -o PACKAGE.exe\n";
const char kHelp[] = "usage: vdrpack build STUB.exe PATCH.ini -o PACKAGE.exe\n"
                     "\n"
                     "Writes PACKAGE.exe: a copy of STUB.exe (the plain Veldrun.exe) with PATCH.ini attached behind\n"
                     "the package trailer. The bytes are exactly those Veldrun.exe writes in builder mode\n"
                     "(\"Veldrun.exe PACKAGE.exe PATCH.ini\"). An existing PACKAGE.exe is replaced; after a failure\n"
                     "none is left.\n";

} // namespace

int runBuild(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {}, {"-o"}, io, "build", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 2 || !a.has("-o"))
        return usageError(io, "build", "needs STUB.exe, PATCH.ini and -o PACKAGE.exe", kUsage);
    const std::string& stubPath = a.positional()[0];
    const std::string& iniPath = a.positional()[1];
    std::string outPath = absolutePath(a.value("-o"));

    std::string stub;
    if (!readWholeFile(stubPath, stub)) {
        io.err += "vdrpack build: cannot read " + stubPath + "\n";
        return kToolUnreadable;
    }
    std::string ini;
    if (!readWholeFile(iniPath, ini)) {
        io.err += "vdrpack build: cannot read " + iniPath + "\n";
        return kToolUnreadable;
    }
    std::error_code ec;
    if (std::filesystem::equivalent(stubPath, outPath, ec) || std::filesystem::equivalent(iniPath, outPath, ec))
        return usageError(io, "build", "PACKAGE.exe must be a file other than STUB.exe and PATCH.ini", kUsage);
    CPatchPackage stubPackage(absolutePath(stubPath).c_str());
    if (stubPackage.checkSignature() == 1) {
        io.err += "vdrpack build: " + stubPath + " is already a package; use the plain program as the stub\n";
        return kToolRefused;
    }

    // The builder stores the part of the attached path after its last
    // backslash; handing it the bare name from the file's own directory
    // stores the same name on every platform.
    std::string iniDir = iniPath.substr(0, iniPath.size() - baseName(iniPath).size());
    std::string name = baseName(iniPath);
    CWorkingDirectory cwd(iniDir);
    if (!cwd.ok()) {
        io.err += "vdrpack build: cannot enter the directory of " + iniPath + "\n";
        return kToolUnreadable;
    }
    CPatchPackage package;
    int built = buildPackage(package, outPath.empty() ? nullptr : outPath.c_str(), name.c_str(),
                             [&]() { return replaceFile(outPath, stub); });
    switch (built) {
    case kBuildWritten:
        io.out += "built " + a.value("-o") + ": " + std::to_string(stub.size()) + " bytes of " + stubPath + ", " +
                  name + " (" + std::to_string(ini.size()) + " bytes) attached\n";
        return kToolOk;
    case kBuildNameRefused:
        io.err += "vdrpack build: a package cannot carry the name \"" + name +
                  "\" (the program refuses to extract it); rename the file\n";
        return kToolRefused;
    case kBuildAttachOpen:
        io.err += "vdrpack build: cannot read " + iniPath + "\n";
        std::remove(outPath.c_str());
        return kToolUnreadable;
    default:
        io.err += "vdrpack build: cannot write " + a.value("-o") + "\n";
        if (built != kBuildCopyFailed)
            std::remove(outPath.c_str());
        return kToolWriteFailed;
    }
}
