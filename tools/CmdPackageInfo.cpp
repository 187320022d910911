// vdrpack inspect: whether a file is an update package, and its layout.
#include "ToolCommands.h"

#include "PackageLayout.h"
#include "ToolArgs.h"
#include "ToolFiles.h"
#include "ToolJson.h"

#include "common/Sha256.h"
#include "package/MarkerSearch.h"
#include "package/PatchPackage.h"
#include "package/PackageTrailer.h"
#include "package/PeLayout.h"

namespace {

const char kUsage[] = "usage: vdrpack inspect PACKAGE.exe [--json]\n";
const char kHelp[] = "usage: vdrpack inspect PACKAGE.exe [--json]\n"
                     "\n"
                     "Says whether PACKAGE.exe is an update package (the program's own marker search decides) and\n"
                     "shows its layout: executable size, attached name, content size and SHA-256, and the bytes after\n"
                     "the trailer (a code-signing certificate table when the executable's header points there).\n"
                     "In a signed file only a trailer that ends where the certificate table begins counts; the report\n"
                     "says so when a marker or other bytes lie inside or after that table (they are never read).\n"
                     "--json prints the same as a JSON object. Exit status 4 when the file is not a package, 5 when\n"
                     "its trailer is damaged or it carries a name the program refuses to extract.\n";

std::string contentDigest(const std::string& bytes, const PackageLayout& l)
{
    CSha256 sha;
    sha.update(bytes.data() + l.contentOffset, static_cast<std::size_t>(l.contentSize));
    unsigned char digest[kSha256Size];
    sha.finish(digest);
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    return hex;
}

// What lies inside or after a signed file's certificate table, where the
// program never looks.
struct TableFacts {
    bool hasTable = false;
    bool markerInOrAfter = false; // a marker field in or after the table
    std::int64_t afterTable = 0;  // bytes after the table's end
};

TableFacts tableFacts(const std::string& bytes, const char* marker)
{
    TableFacts t;
    PeLayout pe;
    auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    auto size = static_cast<std::int64_t>(bytes.size());
    if (!readPeLayout(data, size, pe) || !pe.hasCertTable)
        return t;
    t.hasTable = true;
    std::int64_t last = lastMarkerIn(data, size, marker);
    t.markerInOrAfter = last >= 0 && last + static_cast<std::int64_t>(kMarkerField) > pe.certAt;
    t.afterTable = size > pe.certAt + pe.certSize ? size - pe.certAt - pe.certSize : 0;
    return t;
}

void describeTable(const TableFacts& t, Json& j, std::string& text)
{
    j["trailerRegion"] = t.hasTable ? "before the certificate table" : "end of the file";
    j["markerInOrAfterTable"] = t.markerInOrAfter;
    j["bytesAfterTable"] = t.afterTable;
    if (t.markerInOrAfter)
        text += "  ignored:         a package marker inside or after the certificate table (never read)\n";
    if (t.afterTable > 0)
        text += "  ignored:         " + std::to_string(t.afterTable) + " bytes after the certificate table\n";
}

} // namespace

int runInspect(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    std::string bytes;
    int status = beginFileCommand(a, args, io, "inspect", kUsage, kHelp, "PACKAGE.exe", bytes);
    if (status >= 0)
        return status;
    const std::string& path = a.positional()[0];
    bool json = a.has("--json");

    std::string full = absolutePath(path);
    CPatchPackage package(full.c_str());
    Json j = jsonDocument("inspect");
    j["file"] = jsonText(path);
    TableFacts table = tableFacts(bytes, package.marker);
    if (full.size() >= sizeof package.packagePath || package.checkSignature() != 1) {
        j["package"] = false;
        std::string notes;
        describeTable(table, j, notes);
        j.erase("trailerRegion");
        io.out += json ? jsonDump(j) : path + ": not a package (no package trailer)\n" + notes;
        io.err += "vdrpack: " + path + ": is not a package\n";
        return kToolNotPackage;
    }
    PackageLayout l;
    if (readPackageLayout(bytes, package.trailingBytes, package.marker, l) != kLayoutOk)
        return toolError(io, kToolMalformed, path, "has a package marker but a damaged trailer");
    bool storable = isStorableName(l.name.data(), l.name.size());
    std::string digest = contentDigest(bytes, l);
    j["package"] = true;
    j["fileSize"] = l.fileSize;
    j["executableSize"] = l.exeSize;
    j["attachedName"] = jsonText(l.name);
    j["nameAccepted"] = storable;
    j["contentSize"] = l.contentSize;
    j["contentSha256"] = digest;
    j["trailingBytes"] = l.trailing;
    j["signatureTable"] = nullptr;
    if (l.bSignature)
        j["signatureTable"] = Json{
            {"offset", l.sigOffset}, {"size", l.sigSize}, {"alignmentBytes", l.sigOffset - (l.fileSize - l.trailing)}};

    std::string notes;
    describeTable(table, j, notes);
    if (json) {
        io.out += jsonDump(j);
    } else {
        io.out += path + ": update package\n";
        io.out += std::string("  trailer region:  ") +
                  (table.hasTable ? "before the certificate table" : "end of the file (not signed)") + "\n";
        io.out += "  executable size: " + std::to_string(l.exeSize) + "\n";
        io.out +=
            "  attached name:   " + l.name + (storable ? "" : " (refused: the program does not extract it)") + "\n";
        io.out += "  content size:    " + std::to_string(l.contentSize) + "\n";
        io.out += "  content sha256:  " + digest + "\n";
        io.out += "  trailing bytes:  " + std::to_string(l.trailing);
        if (l.bSignature)
            io.out += " (signature table of " + std::to_string(l.sigSize) + " bytes at offset " +
                      std::to_string(l.sigOffset) + ", after " +
                      std::to_string(l.sigOffset - (l.fileSize - l.trailing)) + " alignment bytes)";
        else if (l.trailing > 0)
            io.out += " (not a signature table)";
        io.out += "\n" + notes;
    }
    if (!storable) {
        io.err += "vdrpack: " + path + ": the attached name \"" + l.name + "\" is refused by the program\n";
        return kToolMalformed;
    }
    return kToolOk;
}
