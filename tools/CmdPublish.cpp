// vdrpack publish: lays out the server tree a package's runs request
// (URL/<folder>/<SRNo>.exe, the generic build under both max and Max) and
// pins every build it places, in one pass, so that the pins are those of
// the very bytes the server holds.
#include "ToolCommands.h"

#include "PackageLayout.h"
#include "PatchLint.h"
#include "PublishTree.h"
#include "ToolFiles.h"

#include "common/FixedBuf.h"
#include "common/Sha256.h"
#include "package/Authenticode.h"
#include "products/IniFileReader.h"
#include "products/PatchInfoKeys.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"
#include "update/FetchPlan.h"
#include "update/PatchSigner.h"

#include <cstring>
#include <fstream>
#include <memory>

namespace {

const char kUsage[] = "usage: vdrpack publish PATCH.ini [--build N FILE]... [--max FILE] --to DIR\n";
const char kHelp[] = "usage: vdrpack publish PATCH.ini [--build N FILE]... [--max FILE] --to DIR\n"
                     "\n"
                     "Lays out in DIR the tree the package's runs request from [SRInfo] URL, and pins it:\n"
                     "  --build N FILE  FILE as DIR/N/SRNo.exe, the build of server folder N (the one Info N selects)\n"
                     "  --max FILE      FILE as DIR/max/SRNo.exe and DIR/Max/SRNo.exe: the generic build, which a run\n"
                     "                  fetches from \"max\" and falls back to from \"Max\" (a server whose paths are\n"
                     "                  case-sensitive needs both)\n"
                     "Each build's SHA-256 and size are written into PATCH.ini (SHA256N and SizeN, SHA256Max and\n"
                     "SizeMax, as \"vdrpack pin\" does) from the bytes copied into DIR. Sign the builds first: a\n"
                     "signature changes the bytes, and with it the pin. With [SRInfo] Signer, a build that is not\n"
                     "signed by that certificate is refused (with Signer=package, the builds must share one\n"
                     "certificate, and the package is to be signed with it). Nothing is placed and nothing pinned\n"
                     "unless every build passes; each file takes its name in one rename, so a server never serves\n"
                     "half a build. A link inside DIR is never followed (a folder that is one is refused). Prints\n"
                     "the URLs the run will request. Exit status 7 for a refused build or SR number, 6 when DIR\n"
                     "cannot be written.\n";

struct Build {
    int folder; // kPinFolderMax for the generic build
    std::string path;
};

bool parseArgs(const std::vector<std::string>& args, std::string& ini, std::vector<Build>& builds, std::string& to,
               std::string& error)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        int folder = kPinFolderMax;
        if (a == "--build") {
            if (i + 2 >= args.size() || !parseFolder(args[i + 1], folder))
                return error = "--build needs a folder number (0, 1, 2, ... without leading zeros) and a FILE", false;
            if (folder == kAlreadyAppliedIndex)
                return error = "folder 999 is never downloaded (the selection reads it as already applied)", false;
            builds.push_back(Build{folder, args[i + 2]});
            i += 2;
        } else if (a == "--max" || a == "--to") {
            if (i + 1 >= args.size())
                return error = a + " needs a value", false;
            if (a == "--max")
                builds.push_back(Build{kPinFolderMax, args[i + 1]});
            else
                to = args[i + 1];
            ++i;
        } else if (!a.empty() && a[0] == '-' && a != "-") {
            return error = "unknown option " + a, false;
        } else if (ini.empty()) {
            ini = a;
        } else {
            return error = "more than one PATCH.ini", false;
        }
    }
    if (ini.empty() || to.empty() || builds.empty())
        return error = "needs PATCH.ini, at least one --build N FILE or --max FILE, and --to DIR", false;
    if (builds.size() > static_cast<std::size_t>(kMaxEntryCount) + 1)
        return error = "more builds than [SRInfo] Count may ever select", false;
    for (std::size_t i = 0; i < builds.size(); ++i)
        for (std::size_t j = 0; j < i; ++j)
            if (builds[i].folder == builds[j].folder)
                return error = "a folder given twice", false;
    return true;
}

std::string folderName(int folder)
{
    return folder == kPinFolderMax ? "max" : std::to_string(folder);
}

// A build copied into each of its places, hashed as it was copied.
struct Staged {
    Build build;
    std::vector<std::unique_ptr<CPublishFile>> files;
    std::vector<std::string> folders;
    unsigned char digest[kSha256Size] = {};
    std::uint64_t size = 0;
};

class CStagedSource : public CByteSource {
public:
    CStagedSource(CPublishFile& file, std::uint64_t size) : m_file(file), m_size(size) {}
    bool size(std::uint64_t* bytes) override { return *bytes = m_size, true; }
    bool readAt(std::uint64_t offset, void* buf, std::size_t len) override
    {
        return offset <= m_size && len <= m_size - offset && m_file.readAt(offset, buf, len);
    }

private:
    CPublishFile& m_file;
    std::uint64_t m_size;
};

// Copies the build into DIR/folder (and DIR/Max for the generic build,
// unless that is the same folder), hashing the bytes copied; the copy is
// bounded by the largest size a pin may give.
int stage(Staged& s, const std::string& dir, ToolOutput& io)
{
    std::vector<std::string> folders{folderName(s.build.folder)};
    if (s.build.folder == kPinFolderMax)
        folders.push_back("Max");
    for (const std::string& folder : folders) {
        auto file = std::make_unique<CPublishFile>();
        int opened = file->open(dir, folder);
        if (opened == kPublishNoDir)
            return toolError(io, kToolWriteFailed, dir, "is missing or not a directory");
        if (opened == kPublishLinkedDir)
            return toolError(io, kToolRefused, dir + "/" + folder,
                             "is a link or not a directory; publish never writes through a link");
        if (opened != kPublishOk)
            return toolError(io, kToolWriteFailed, dir + "/" + folder, "cannot write a file there");
        bool same = !s.files.empty() && s.files[0]->folderId() == file->folderId();
        if (same)
            continue; // "Max" is "max" where names ignore case
        s.files.push_back(std::move(file));
        s.folders.push_back(folder);
    }
    std::ifstream in(s.build.path, std::ios::binary);
    if (!in)
        return toolError(io, kToolUnreadable, s.build.path, "cannot read the file");
    CSha256 sha;
    std::vector<char> block(1 << 16);
    while (in) {
        in.read(block.data(), static_cast<std::streamsize>(block.size()));
        std::streamsize got = in.gcount();
        if (got <= 0)
            break;
        s.size += static_cast<std::uint64_t>(got);
        if (s.size > kMaxSizePin)
            return toolError(io, kToolRefused, s.build.path, "is larger than 2 GiB, which the program never downloads");
        sha.update(block.data(), static_cast<std::size_t>(got));
        for (auto& f : s.files)
            if (!f->write(block.data(), static_cast<std::size_t>(got)))
                return toolError(io, kToolWriteFailed, dir, "cannot write the build into the tree");
    }
    if (in.bad())
        return toolError(io, kToolUnreadable, s.build.path, "cannot read the file");
    if (s.size == 0)
        return toolError(io, kToolRefused, s.build.path, "is empty");
    sha.finish(s.digest);
    return kToolOk;
}

// The build as copied against [SRInfo] Signer: the certificate that signed
// it must be the one named (for "package": the same for every build, held
// in packageCert).
int checkSigner(Staged& s, int kind, const unsigned char named[kSha256Size], std::string& packageCert, ToolOutput& io)
{
    if (kind == kSignerKeyNone)
        return kToolOk;
    CStagedSource source(*s.files[0], s.size);
    SignerCertificate cert;
    int read = readProgramSigner(source, &cert);
    if (read != kSignerFound)
        return toolError(io, kToolRefused, s.build.path,
                         std::string("[SRInfo] Signer asks for a signed build, and this one is ") +
                             (read == kSignerUnsigned ? "not signed" : signerReadText(read)) +
                             "; sign it, then publish");
    char hex[kSha256HexSize];
    sha256Hex(cert.sha256, hex);
    if (kind == kSignerKeyDigest && std::memcmp(cert.sha256, named, kSha256Size) != 0) {
        char want[kSha256HexSize];
        sha256Hex(named, want);
        return toolError(io, kToolRefused, s.build.path,
                         "is signed by " + cert.subject + " (" + hex +
                             "), not by the certificate [SRInfo] Signer names (" + want + "): the run would refuse it");
    }
    if (kind == kSignerKeyPackage) {
        if (packageCert.empty())
            packageCert = std::string(hex) + " (" + cert.subject + ")";
        else if (packageCert.compare(0, std::strlen(hex), hex) != 0)
            return toolError(io, kToolRefused, s.build.path,
                             "is signed by " + cert.subject + " (" + hex +
                                 "), another certificate than the build before (" + packageCert +
                                 "); with Signer=package every build and the package share one");
    }
    return kToolOk;
}

std::string srInfo(const std::string& iniPath, const char* key)
{
    char value[kMaxText] = {};
    platformProfile().getString(kSRInfoSection, key, "", value, sizeof value, iniPath.c_str());
    return value;
}

// What the run will request for the builds published, and what it will
// find missing.
std::string requestReport(const std::vector<Staged>& staged, const std::string& url, const std::string& srNo, int count)
{
    std::string text = "the run requests:\n";
    bool generic = false;
    std::vector<bool> published(static_cast<std::size_t>(count), false);
    for (const Staged& s : staged) {
        int id = s.build.folder == kPinFolderMax ? kPatchGeneric : s.build.folder;
        generic = generic || id == kPatchGeneric;
        if (id >= 0 && id < count)
            published[static_cast<std::size_t>(id)] = true;
        std::vector<PlannedFetch> plan = planFetches(id, url.c_str(), srNo.c_str());
        text += "  " +
                (plan.empty() || plan[0].url.empty() ? std::string("(URL too long: never requested)") : plan[0].url) +
                (id == kPatchGeneric
                     ? "  (the generic build: machines no Info entry matches)\n"
                     : "  (machines Info" + std::to_string(id) + " matches" +
                           (id >= count ? "; never, [SRInfo] Count is " + std::to_string(count) : "") + ")\n");
        if (id == kPatchGeneric && plan.size() == 1) {
            std::vector<PlannedFetch> fallback = planFetches(0, url.c_str(), srNo.c_str());
            if (fallback.size() > 1)
                text += "  " + fallback[1].url + "  (the fallback of every numbered folder)\n";
        }
    }
    std::size_t missing = 0;
    for (int i = 0; i < count; ++i)
        if (!published[static_cast<std::size_t>(i)] && ++missing <= kLintShownPerCode)
            text += "note: folder " + std::to_string(i) + " (Info" + std::to_string(i) +
                    ") was not published here: its machines get the fallback from Max\n";
    if (missing > kLintShownPerCode)
        text += "note: " + std::to_string(missing - kLintShownPerCode) + " more folders were not published here\n";
    if (!generic)
        text += "note: no --max build: the generic build and the fallback are not published here\n";
    return text;
}

} // namespace

int runPublish(const std::vector<std::string>& args, ToolOutput& io)
{
    for (const std::string& a : args)
        if (a == "--help" || a == "-h" || a == "/?")
            return io.out += kHelp, kToolOk;
    std::string iniArg, dir, error;
    std::vector<Build> builds;
    if (!parseArgs(args, iniArg, builds, dir, error))
        return usageError(io, "publish", error, kUsage);

    std::string ini;
    if (!readWholeFile(iniArg, ini))
        return toolError(io, kToolUnreadable, iniArg, "cannot read the file");
    if (isProgramOrPackage(iniArg, ini))
        return toolError(io, kToolRefused, iniArg, "is a program or a package, not a patch information file");
    std::string iniPath = absolutePath(iniArg);
    if (iniPath.empty() || iniPath.size() >= kMaxText)
        return toolError(io, kToolUnreadable, iniArg, "the full path does not fit in 259 characters");
    // The SR number names the file in every folder: one that would name
    // another file (a path, an escape, a stream) is refused before anything
    // is written.
    const std::string srNo = srInfo(iniPath, kSRNoKey);
    const std::string url = srInfo(iniPath, kURLKey);
    std::string hazard = requestHazard(srNo, true);
    if (srNo.empty() || !hazard.empty() || srNo.find_first_of(":*\"<>|") != std::string::npos || srNo.size() > 200)
        return toolError(io, kToolRefused, iniArg,
                         "[SRInfo] SRNo \"" + srNo + "\" cannot name a build's file (" +
                             (srNo.empty()     ? std::string("it is empty")
                              : hazard.empty() ? std::string("a character no file name may hold, or too long")
                                               : "it holds " + hazard) +
                             "); see vdrpack lint");
    unsigned char named[kSha256Size] = {};
    int signerKind = readSignerKey(srInfo(iniPath, kSignerKey).c_str(), named);
    if (signerKind == kSignerKeyMalformed)
        return toolError(io, kToolRefused, iniArg,
                         "[SRInfo] Signer is neither \"package\" nor 64 hex digits; see vdrpack lint");

    std::vector<Staged> staged(builds.size());
    std::string packageCert;
    for (std::size_t i = 0; i < builds.size(); ++i) {
        staged[i].build = builds[i];
        int status = stage(staged[i], dir, io);
        if (status == kToolOk)
            status = checkSigner(staged[i], signerKind, named, packageCert, io);
        if (status != kToolOk)
            return status; // every file staged so far is removed
    }
    std::vector<BuildPin> pins;
    for (const Staged& s : staged) {
        char hex[kSha256HexSize];
        sha256Hex(s.digest, hex);
        pins.push_back(BuildPin{s.build.folder, hex, s.size});
    }
    int pinned = writePins(iniArg, pins, io);
    if (pinned != kToolOk)
        return pinned;
    std::string fileName = srNo + ".exe";
    for (Staged& s : staged) {
        for (std::size_t f = 0; f < s.files.size(); ++f) {
            std::string where = dir + "/" + s.folders[f] + "/" + fileName;
            if (s.files[f]->commit(fileName) != kPublishOk)
                return toolError(io, kToolWriteFailed, where,
                                 "cannot be put in place; PATCH.ini is pinned already: publish again");
            io.out += "published " + where + " (" + std::to_string(s.size) + " bytes)\n";
        }
    }
    if (signerKind == kSignerKeyPackage)
        io.out += "signer: every build is signed by " + packageCert + ": sign the package with that certificate\n";
    int count = clampEntryCount(CIniFileReader::parseInt(srInfo(iniPath, kCountKey).c_str()));
    io.out += requestReport(staged, url, srNo, count);
    return kToolOk;
}
