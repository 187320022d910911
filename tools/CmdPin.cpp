// vdrpack pin: writes the SHA-256 of a patch build into the patch
// information file as [SRInfo] "SHA256%d" (the build of folder %d) or
// "SHA256Max" (the generic build, also fetched as the fallback).
#include "ToolCommands.h"

#include "IniKeyWriter.h"
#include "ToolArgs.h"
#include "ToolFiles.h"

#include "common/FileHash.h"
#include "products/IniFileReader.h"
#include "update/PatchPin.h"

#include <cstdio>

namespace {

const char kUsage[] = "usage: vdrpack pin PATCH.ini (--build N | --max) FILE\n";
const char kHelp[] = "usage: vdrpack pin PATCH.ini (--build N | --max) FILE\n"
                     "\n"
                     "Writes the SHA-256 of FILE, the patch build the server holds, into [SRInfo] of PATCH.ini:\n"
                     "  --build N   as \"SHA256N\", for the build in server folder N (the one Info N selects)\n"
                     "  --max       as \"SHA256Max\", for the generic build in the max folder (also the fallback)\n"
                     "An existing pin is replaced; every other byte of PATCH.ini stays as it was.\n"
                     "A PATCH.ini saved as UTF-16 is refused (status 5): save it as ANSI or UTF-8 to pin it.\n"
                     "A program that downloads a pinned build starts it only when its SHA-256 matches;\n"
                     "a mismatch counts as no file (fallback or server error).\n";

// A folder number as the program forms it: decimal digits, no leading zeros.
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

} // namespace

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
        if (folder == 999)
            return usageError(io, "pin", "folder 999 is never downloaded (the selection reads it as already applied)",
                              kUsage);
    }
    const std::string& iniPath = a.positional()[0];
    const std::string& buildPath = a.positional()[1];

    std::string text;
    if (!readWholeFile(iniPath, text)) {
        io.err += "vdrpack pin: cannot read " + iniPath + "\n";
        return kToolUnreadable;
    }
    // The key writer works on narrow text; written into UTF-16 text, the
    // pin would be unreadable and the file damaged.
    if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
        io.err += "vdrpack pin: " + iniPath + " is saved as UTF-16; save it as ANSI or UTF-8 to pin it\n";
        return kToolMalformed;
    }
    unsigned char digest[kSha256Size];
    if (!sha256OfFile(buildPath.c_str(), digest)) {
        io.err += "vdrpack pin: cannot read " + buildPath + "\n";
        return kToolUnreadable;
    }
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    char key[kPinKeySize];
    pinKeyName(folder, key, sizeof key);

    if (!replaceFile(iniPath, setIniKey(text, "SRInfo", key, hex))) {
        io.err += "vdrpack pin: cannot write " + iniPath + "\n";
        return kToolWriteFailed;
    }
    io.out += iniPath + ": [SRInfo] " + key + "=" + hex + "\n";
    std::string countText;
    int count = CIniFileReader::findValue("SRInfo", "Count", iniPath.c_str(), countText)
                    ? CIniFileReader::parseInt(countText)
                    : 0;
    if (folder != kPinFolderMax && folder >= count)
        io.err += "vdrpack pin: warning: [SRInfo] Count is " + std::to_string(count) + ", so folder " +
                  std::to_string(folder) + " is never selected and its pin never used\n";
    return kToolOk;
}
