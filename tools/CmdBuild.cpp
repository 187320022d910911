// vdrpack build: the package builder mode writes, from a stub (the plain
// program) instead of the running program itself.
#include "ToolCommands.h"

#include "PackageLayout.h"
#include "PatchLint.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "app/Builder.h"
#include "app/ExitStatus.h"
#include "package/PatchPackage.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace {

const char kUsage[] = "usage: vdrpack build STUB.exe PATCH.ini -o PACKAGE.exe [--force]\n";
const char kHelp[] = "usage: vdrpack build STUB.exe PATCH.ini -o PACKAGE.exe [--force]\n"
                     "\n"
                     "Writes PACKAGE.exe: a copy of STUB.exe (the plain Veldrun.exe) with PATCH.ini attached behind\n"
                     "the package trailer. The bytes are exactly those Veldrun.exe writes in builder mode\n"
                     "(\"Veldrun.exe PACKAGE.exe PATCH.ini\"). An existing PACKAGE.exe is replaced; after a failure\n"
                     "none is left. Sign the package afterwards, never the stub.\n"
                     "\n"
                     "Refuses (nothing written):\n"
                     "  a PATCH.ini with lint errors (\"vdrpack lint\" lists them): exit 5, unless --force\n"
                     "The lint's errors and warnings are printed on standard error either way.\n"
                     "  a STUB.exe that is not a Windows program: exit 5\n"
                     "  a PATCH.ini that is a package or a program: exit 7\n"
                     "  a STUB.exe that is already a package: exit 7\n"
                     "  a STUB.exe that is code-signed (appending breaks the signature): exit 7, unless --force\n";

} // namespace

int runBuild(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {"--force"}, {"-o"}, io, "build", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 2 || !a.has("-o"))
        return usageError(io, "build", "needs STUB.exe, PATCH.ini and -o PACKAGE.exe", kUsage);
    const std::string& stubPath = a.positional()[0];
    const std::string& iniPath = a.positional()[1];
    std::string outPath = absolutePath(a.value("-o"));
    bool force = a.has("--force");

    std::string stub;
    if (!readWholeFile(stubPath, stub))
        return toolError(io, kToolUnreadable, stubPath, "cannot read the file");
    std::string ini;
    if (!readWholeFile(iniPath, ini))
        return toolError(io, kToolUnreadable, iniPath, "cannot read the file");
    std::error_code ec;
    if (std::filesystem::equivalent(stubPath, outPath, ec) || std::filesystem::equivalent(iniPath, outPath, ec))
        return usageError(io, "build", "PACKAGE.exe must be a file other than STUB.exe and PATCH.ini", kUsage);
    if (isProgramOrPackage(iniPath, ini))
        return toolError(io, kToolRefused, iniPath,
                         "is a program or a package, not a patch information file; give the patch.ini");
    if (peHeaderOffset(stub, static_cast<std::int64_t>(stub.size())) < 0)
        return toolError(io, kToolMalformed, stubPath, "is not a Windows program; give the plain Veldrun.exe");
    CPatchPackage stubPackage(absolutePath(stubPath).c_str());
    if (stubPackage.checkSignature() == 1)
        return toolError(io, kToolRefused, stubPath, "is already a package; use the plain program as the stub");
    if (carriesSignatureTable(stub)) {
        if (!force)
            return toolError(io, kToolRefused, stubPath,
                             "is code-signed: the package would carry an invalid signature; use the unsigned program "
                             "and sign the package (--force builds anyway)");
        io.err += "vdrpack: " + stubPath + ": warning: code-signed stub, the package's signature is invalid\n";
    }
    // Errors and warnings go to the release log; notes (the server layout)
    // are for vdrpack lint.
    std::vector<LintFinding> findings = lintPatchFile(ini);
    findings.erase(
        std::remove_if(findings.begin(), findings.end(), [](const LintFinding& f) { return f.severity == kLintNote; }),
        findings.end());
    io.err += lintText(iniPath, findings);
    if (hasLintErrors(findings)) {
        if (!force)
            return toolError(io, kToolMalformed, iniPath,
                             "has errors (" + lintSummary(findings) + "); fix them, or build anyway with --force");
        io.err += "vdrpack: " + iniPath + ": warning: built despite errors (--force)\n";
    }
    // The program's builder would store the part of the attached path after
    // its last backslash; the tool names the file by its last part under
    // either separator, the same on every platform.
    std::string name = baseName(iniPath);
    CPatchPackage package;
    int built = buildPackage(
        package, outPath.empty() ? nullptr : outPath.c_str(), iniPath.c_str(),
        [&]() { return replaceFile(outPath, stub); }, name.c_str());
    switch (built) {
    case kBuildWritten:
        io.out += "built " + a.value("-o") + ": " + std::to_string(stub.size()) + " bytes of " + stubPath + ", " +
                  name + " (" + std::to_string(ini.size()) + " bytes) attached\n";
        return kToolOk;
    case kBuildNameRefused:
        return toolError(io, kToolRefused, iniPath,
                         "a package cannot carry the name \"" + name +
                             "\" (the program refuses to extract it); rename the file");
    case kBuildAttachOpen:
        std::remove(outPath.c_str());
        return toolError(io, kToolUnreadable, iniPath, "cannot read the file");
    default:
        if (built != kBuildCopyFailed)
            std::remove(outPath.c_str());
        return toolError(io, kToolWriteFailed, a.value("-o"), "cannot write the file");
    }
}
