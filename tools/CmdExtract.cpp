// vdrpack extract: writes the attached file, with the program's own reader
// and its safety rules (refused names, bounded paths).
#include "ToolCommands.h"

#include "FileEdit.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "package/PatchPackage.h"

#include <cstdio>
#include <filesystem>
#include <random>

namespace {

const char kUsage[] = "usage: vdrpack extract PACKAGE.exe [-C DIR] [--force]\n";
const char kHelp[] = "usage: vdrpack extract PACKAGE.exe [-C DIR] [--force]\n"
                     "\n"
                     "Writes the file attached to PACKAGE.exe into DIR (default: the working directory) under its\n"
                     "stored name, with the program's own reader: a stored name the program refuses (empty, \".\",\n"
                     "\"..\", or holding \\ / or :) is never written. The file is new: when anything of that name\n"
                     "is already in DIR (a file, or a link, which is never followed), nothing is written (exit 6).\n"
                     "  --force  replace a file or link of that name (the link itself, not what it points to)\n";

// A new directory of a unique name inside dir, empty; "" when none can be
// made. Only this process writes into it.
std::string makePrivateDir(const std::string& dir)
{
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[40];
        std::snprintf(name, sizeof name, ".vdrpack-extract-%08x", static_cast<unsigned>(random()));
        std::filesystem::path p = std::filesystem::path(dir) / name;
        std::error_code ec;
        if (std::filesystem::create_directory(p, ec)) {
            std::filesystem::permissions(p, std::filesystem::perms::owner_all, ec);
            return p.string();
        }
    }
    return std::string();
}

} // namespace

int runExtract(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {"--force"}, {"-C"}, io, "extract", kUsage, kHelp);
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
    std::filesystem::file_status dirStatus = std::filesystem::status(dir, ec);
    if (dirStatus.type() == std::filesystem::file_type::not_found)
        return toolError(io, kToolWriteFailed, dir, "is missing: no such directory (extract makes no directory)");
    if (dirStatus.type() != std::filesystem::file_type::directory)
        return toolError(io, kToolWriteFailed, dir, "is not a directory");
    // The reader writes into a new directory of our own, where no name can
    // be planted; the file then takes its name in DIR in one step, only
    // where nothing has that name (unless --force).
    std::string work = makePrivateDir(dir);
    if (work.empty())
        return toolError(io, kToolWriteFailed, dir, "cannot write into the directory");
    // The stored name is checked by the reader and only then names the file in DIR.
    std::string staged = (std::filesystem::path(work) / "attached").string();
    char stored[kMaxText] = {};
    int r = package.detachFileTo(staged.c_str(), stored, sizeof stored);
    int placed = kPlaceFailed;
    std::string name = stored;
    std::string target = (std::filesystem::path(dir) / name).string();
    std::error_code ec2;
    if (r == kDetachDone && std::filesystem::symlink_status(staged, ec2).type() == std::filesystem::file_type::regular)
        placed = placeNewFile(staged, target, a.has("--force"));
    std::filesystem::remove_all(work, ec2);
    switch (r) {
    case kDetachDone:
        if (placed == kPlaceExists)
            return toolError(io, kToolWriteFailed, target,
                             "exists (a file or a link); extract creates a new file only, nothing written "
                             "(--force replaces it)");
        if (placed != kPlaceOk)
            return toolError(io, kToolWriteFailed, dir, "cannot write the attached file into the directory");
        io.out += "extracted " + name + " into " + dir + "\n";
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
