// vdrpack pin on any patch information file: either it refuses (a program
// or package given as the file, or a pin that would not read back) and the
// file is left as it was, or it succeeds, the program then finds the pin and
// the size and accepts the pinned build, and of the old lines nothing but
// the two keys' own changed, in the file's own encoding.
// Input: one byte choosing the folder (0 to 2, or the max folder), then the
// file's bytes.
#include "FuzzFiles.h"

#include "ToolRun.h"
#include "common/Trace.h"
#include "update/PatchPin.h"

#include <cstdint>
#include <set>
#include <string>

namespace {

// How many lines of text the other lacks (each counted as often as it occurs).
std::size_t linesMissingFrom(const std::string& text, const std::string& other)
{
    std::multiset<std::string> have;
    std::size_t at = 0;
    for (std::size_t nl; (nl = other.find('\n', at)) != std::string::npos; at = nl + 1)
        have.insert(other.substr(at, nl - at));
    have.insert(other.substr(at));
    std::size_t missing = 0;
    at = 0;
    for (std::size_t nl = 0; nl != std::string::npos; at = nl + 1) {
        nl = text.find('\n', at);
        auto it = have.find(text.substr(at, nl == std::string::npos ? std::string::npos : nl - at));
        if (it == have.end())
            ++missing;
        else
            have.erase(it);
    }
    return missing;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static TempDir dir;
    static const std::string ini = dir.file("patch.ini");
    static const std::string build = dir.file("build.exe");
    if (size == 0)
        return 0;
    const int folder = data[0] % 4 == 3 ? kPinFolderMax : data[0] % 4;
    const std::string before(reinterpret_cast<const char*>(data) + 1, size - 1);
    writeFile(ini, before);
    writeFile(build, "patch build");

    std::vector<std::string> args = {"pin", ini};
    if (folder == kPinFolderMax)
        args.push_back("--max");
    else
        args.insert(args.end(), {"--build", std::to_string(folder)});
    args.push_back(build);
    ToolOutput io;
    const int status = runVdrpack(args, io);
    FUZZ_CHECK((dirEntries(dir.path()) == std::set<std::string>{"patch.ini", "build.exe"}));
    if (status != kToolOk) {
        FUZZ_CHECK((status == kToolRefused || status == kToolWriteFailed) && readFile(ini) == before);
        traceClear();
        return 0;
    }

    // The program reads the pin and the size back and accepts the build it was made from.
    FUZZ_CHECK(checkDownloadPin(platformProfile(), ini.c_str(), folder, build.c_str()) == kPinMatch);
    FUZZ_CHECK(sizePinFor(platformProfile(), ini.c_str(), folder) == std::string("patch build").size());

    // Of the old lines, at most two are gone (the keys' own, or a last line
    // that got its line break).
    FUZZ_CHECK(linesMissingFrom(before, readFile(ini)) <= 2);
    traceClear();
    return 0;
}
