// vdrpack pin: writes the SHA-256 and the size of a patch build into the
// patch information file as [SRInfo] "SHA256%d" and "Size%d" (the build of
// folder %d) or "SHA256Max" and "SizeMax" (the generic build, also fetched
// as the fallback).
#include "ToolCommands.h"

#include "FileEdit.h"
#include "IniKeyWriter.h"
#include "PackageLayout.h"
#include "PatchLint.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "common/Sha256.h"
#include "common/FixedBuf.h"
#include "products/IniFileReader.h"
#include "products/PatchInfoKeys.h"
#include "products/ProfileLines.h"
#include "products/Profile.h"
#include "update/PatchPin.h"

#include <cstdio>
#include <fstream>

namespace {

const char kUsage[] = "usage: vdrpack pin PATCH.ini (--build N | --max) FILE\n";
const char kHelp[] =
    "usage: vdrpack pin PATCH.ini (--build N | --max) FILE\n"
    "\n"
    "Writes the SHA-256 and the size of FILE, the patch build the server holds, into [SRInfo] of\n"
    "PATCH.ini:\n"
    "  --build N   as \"SHA256N\" and \"SizeN\", for the build in server folder N (the one Info N\n"
    "              selects)\n"
    "  --max       as \"SHA256Max\" and \"SizeMax\", for the generic build in the max folder (also the\n"
    "              fallback)\n"
    "An existing pin is replaced; every other byte of PATCH.ini stays as it was, in its own encoding\n"
    "(ANSI or UTF-8, with or without byte-order mark, or UTF-16 with its mark). The file is read\n"
    "back with the program's reader before it replaces the old one: exit 6, the file as it was,\n"
    "when the pin does not read back. A package or program given as PATCH.ini is refused (exit 7).\n"
    "A program that downloads a pinned build starts it only when its SHA-256 matches;\n"
    "a mismatch counts as no file (fallback or server error). Its download is stopped as soon as it\n"
    "passes the pinned size or the server announces another length.\n"
    "A link is followed: its target is pinned and the link stays. The target keeps its mode (and\n"
    "owner where allowed); it is locked while it is pinned (a second pin waits for the first) and\n"
    "replaced in one rename only when unchanged since it was read: exit 6, nothing written, when\n"
    "another program changed it meanwhile.\n";

// The SHA-256 and the size of one reading of a file, in blocks.
bool digestAndSize(const std::string& path, unsigned char digest[kSha256Size], std::uint64_t& size)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    CSha256 sha;
    std::vector<char> block(1 << 16);
    size = 0;
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::streamsize got = in.gcount();
        if (got <= 0)
            break;
        sha.update(block.data(), static_cast<std::size_t>(got));
        size += static_cast<std::uint64_t>(got);
    }
    if (in.bad())
        return false;
    sha.finish(digest);
    return true;
}

} // namespace

bool parseFolder(const std::string& text, int& folder)
{
    if (text.empty() || text.size() > 9 || (text.size() > 1 && text[0] == '0'))
        return false;
    folder = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        folder = folder * 10 + (c - '0');
    }
    return true;
}

int runPin(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    int status = beginCommand(a, args, {"--max"}, {"--build"}, io, "pin", kUsage, kHelp);
    if (status >= 0)
        return status;
    if (a.positional().size() != 2)
        return usageError(io, "pin", "needs PATCH.ini and FILE", kUsage);
    if (a.has("--max") == a.has("--build"))
        return usageError(io, "pin", "give either --build N or --max", kUsage);
    int folder = kPinFolderMax;
    if (a.has("--build")) {
        if (!parseFolder(a.value("--build"), folder))
            return usageError(io, "pin", "--build needs a folder number (0, 1, 2, ... without leading zeros)", kUsage);
        if (folder == kAlreadyAppliedIndex)
            return usageError(io, "pin", "folder 999 is never downloaded (the selection reads it as already applied)",
                              kUsage);
    }
    const std::string& iniPath = a.positional()[0];
    const std::string& buildPath = a.positional()[1];

    // The build is hashed before the file is locked: a large build must not
    // keep another pin of the file waiting.
    unsigned char digest[kSha256Size];
    std::uint64_t buildSize = 0;
    bool hashed = digestAndSize(buildPath, digest, buildSize);
    if (!hashed)
        return toolError(io, kToolUnreadable, buildPath, "cannot read the file");
    std::uint64_t pinnable = 0;
    if (!parseSizePin(std::to_string(buildSize).c_str(), pinnable))
        return toolError(io, kToolRefused, buildPath,
                         buildSize == 0 ? "is empty" : "is larger than 2 GiB, which the program never downloads");
    BuildPin pin{folder, "", buildSize};
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    pin.sha256 = hex;
    return writePins(iniPath, {pin}, io);
}

int writePins(const std::string& iniPath, const std::vector<BuildPin>& pins, ToolOutput& io)
{
    // The file is edited in place: through a link, under a lock, replaced
    // only when unchanged since it was read (FileEdit.h).
    CFileEdit edit;
    int opened = edit.open(iniPath);
    if (opened == kEditBusy)
        return toolError(io, kToolWriteFailed, iniPath,
                         "another vdrpack has been editing the file for too long; nothing written, pin again");
    if (opened != kEditOk)
        return toolError(io, kToolUnreadable, iniPath, "cannot read the file");
    const std::string& bytes = edit.bytes();
    if (isProgramOrPackage(iniPath, bytes))
        return toolError(io, kToolRefused, iniPath,
                         "is a program or a package, not a patch information file; pin the patch.ini, then build");
    // Each pin's keys and values: the digest and the size.
    std::vector<std::pair<std::string, std::string>> keys;
    std::string pinned = bytes;
    for (const BuildPin& pin : pins) {
        char key[kPinKeySize];
        pinKeyName(pin.folder, key, sizeof key);
        keys.emplace_back(key, pin.sha256);
        sizeKeyName(pin.folder, key, sizeof key);
        keys.emplace_back(key, std::to_string(pin.size));
    }
    for (const auto& [key, value] : keys)
        pinned = setIniKeyInFile(pinned, kSRInfoSection, key, value);

    // The new file must give every pin back through the program's own
    // reader before it replaces the old one.
    bool mismatch = false;
    auto readsBack = [&](const std::string& temp) {
        std::string full = absolutePath(temp);
        mismatch = full.empty() || full.size() >= kMaxText;
        for (const auto& [key, value] : keys) {
            char got[kMaxText] = {};
            if (!mismatch)
                platformProfile().getString(kSRInfoSection, key.c_str(), "", got, sizeof got, full.c_str());
            mismatch = mismatch || value != got;
        }
        return !mismatch;
    };
    int written = edit.replace(pinned, readsBack);
    if (written == kEditChanged)
        return toolError(io, kToolWriteFailed, iniPath,
                         "changed while it was being pinned; left as the other writer made it, pin again");
    if (written != kEditOk)
        return toolError(io, kToolWriteFailed, iniPath,
                         mismatch ? std::string("the pin did not read back as written; the file is left as it was")
                                  : std::string("cannot write the file"));
    edit.close();
    for (std::size_t i = 0; i < keys.size(); i += 2)
        io.out += iniPath + ": [SRInfo] " + keys[i].first + "=" + keys[i].second + ", " + keys[i + 1].first + "=" +
                  keys[i + 1].second + "\n";

    CPatchFile file(profileTextOf(bytes));
    for (int line : file.unclosed())
        io.err += "vdrpack: " + iniPath + ":" + std::to_string(line) +
                  ": warning: a section line without its closing \"]\"; the program reads no section there "
                  "(see vdrpack lint)\n";
    int count = CIniFileReader::parseInt(file.value(kSRInfoSection, kCountKey));
    for (const BuildPin& pin : pins)
        if (pin.folder != kPinFolderMax && pin.folder >= count)
            io.err += "vdrpack: " + iniPath + ": warning: [SRInfo] Count is " + std::to_string(count) + ", so folder " +
                      std::to_string(pin.folder) + " is never selected and its pin never used\n";
    return kToolOk;
}
