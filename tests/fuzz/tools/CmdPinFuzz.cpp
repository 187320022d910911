// vdrpack pin on any patch information file: either it refuses (a program
// or package given as the file, or a pin that would not read back) and the
// file is left as it was, or it succeeds, the program then finds the pin and
// accepts the pinned build, and nothing but the pin's own line changed (one
// line added, or one line's text replaced), in the file's own encoding.
// Input: one byte choosing the folder (0 to 2, or the max folder), then the
// file's bytes.
#include "FuzzFiles.h"

#include "ToolRun.h"
#include "common/Trace.h"
#include "update/PatchPin.h"

#include <cstdint>
#include <string>

namespace {

bool hasLineBreak(const std::string& s, std::size_t from, std::size_t to)
{
    return s.substr(from, to - from).find_first_of("\r\n") != std::string::npos;
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

    // The program reads the pin back and accepts the build it was made from.
    FUZZ_CHECK(checkDownloadPin(ini.c_str(), folder, build.c_str()) == kPinMatch);

    // Apart from a common head and tail, the old text holds at most part of
    // one line: the new one only added a line or replaced one line's text.
    const std::string after = readFile(ini);
    std::size_t head = 0;
    while (head < before.size() && head < after.size() && before[head] == after[head])
        ++head;
    std::size_t tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before[before.size() - 1 - tail] == after[after.size() - 1 - tail])
        ++tail;
    FUZZ_CHECK(!hasLineBreak(before, head, before.size() - tail));
    traceClear();
    return 0;
}
