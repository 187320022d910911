// The package reader on any file: the marker search finds what a byte-by-byte
// backward search finds, and extraction writes exactly one file, inside the
// destination directory, holding exactly the bytes between the stored name
// and the trailer, or writes nothing at all; extraction to a path of the
// caller's gives the same result, name and bytes.
#include "FuzzFiles.h"

#include "common/Trace.h"
#include "package/PatchPackage.h"

#include <cstdint>
#include <cstring>
#include <filesystem>

namespace {

std::uint32_t le32(const std::string& b, std::int64_t at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

// The offset of the last 19 bytes equal to the marker and its zero byte
// that leave room for the marker field's last byte; -1 when there are none.
std::int64_t lastMarker(const std::string& b, const char* marker)
{
    for (std::int64_t at = static_cast<std::int64_t>(b.size()) - 20; at >= 0; --at)
        if (std::memcmp(b.data() + at, marker, 19) == 0)
            return at;
    return -1;
}

struct Scratch {
    TempDir dir;
    std::string package = dir.file("package.exe");
    std::string dest = dir.file("dest");
    std::string staged = dir.file("staged");
    Scratch() { std::filesystem::create_directory(dest); }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Scratch s;
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    writeFile(s.package, bytes);
    traceClear();

    CPatchPackage pkg(s.package.c_str());
    const int found = pkg.checkSignature();
    const std::int64_t at = lastMarker(bytes, pkg.marker);
    FUZZ_CHECK(found == (at >= 0 ? 1 : 0));
    if (!found)
        return 0;
    FUZZ_CHECK(pkg.trailingBytes == static_cast<std::int64_t>(size) - 20 - at);

    char outPath[260];
    int result;
    {
        // Host paths separate with "/", the package's with "\": extracting
        // into the working directory keeps the name whole.
        WorkingDir in(s.dest);
        result = pkg.detachFile(nullptr, outPath, sizeof outPath);
    }
    FUZZ_CHECK((dirEntries(s.dir.path()) == std::set<std::string>{"dest", "package.exe"}));
    const std::set<std::string> written = dirEntries(s.dest);
    char stored[260];
    const int resultTo = pkg.detachFileTo(s.staged.c_str(), stored, sizeof stored);
    FUZZ_CHECK(std::filesystem::exists(s.staged) == (resultTo == kDetachDone));
    if (result != kDetachDone) {
        FUZZ_CHECK(written.empty());
        FUZZ_CHECK(result >= kDetachPackageOpen && result <= kDetachCopyFailed);
        // Names of 256 to 259 bytes pass the reader, but no host file takes them.
        FUZZ_CHECK(resultTo == result ||
                   (result == kDetachCreate && resultTo == kDetachDone && std::strlen(stored) > 255));
        if (resultTo != kDetachDone)
            return 0;
    } else {
        FUZZ_CHECK(resultTo == kDetachDone);
    }
    // Read the layout again, by hand: start offset, name length, name, content.
    const std::int64_t trailer = at - 4;
    const std::int64_t start = le32(bytes, trailer);
    FUZZ_CHECK(start >= 0 && start + 4 <= trailer);
    const std::int64_t nameLen = le32(bytes, start);
    FUZZ_CHECK(start + 4 + nameLen <= trailer);
    const std::string name = bytes.substr(start + 4, nameLen);
    const std::string content = bytes.substr(start + 4 + nameLen, trailer - start - 4 - nameLen);
    FUZZ_CHECK(name == stored);
    FUZZ_CHECK(readFile(s.staged) == content);
    std::filesystem::remove(s.staged);
    if (result == kDetachDone) {
        FUZZ_CHECK(written == std::set<std::string>{name});
        FUZZ_CHECK(name == outPath);
        FUZZ_CHECK(readFile(s.dest + "/" + name) == content);
        emptyDir(s.dest);
    }
    return 0;
}
