// vdrpack inspect on any file: it ends with one of its statuses, says the
// same with and without --json, and agrees with the program's own reader:
// a package it accepts extracts, with the content size it reports; one it
// calls damaged or refused does not (a marker with no room for a trailer
// before it is "no trailer" to the reader).
#include "FuzzFiles.h"

#include "ToolRun.h"
#include "common/Trace.h"
#include "package/PatchPackage.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

struct Scratch {
    TempDir dir;
    std::string package = dir.file("package.exe");
    std::string dest = dir.file("dest");
    Scratch() { std::filesystem::create_directory(dest); }
};

// The number after "label" in text, or -1.
long long numberAfter(const std::string& text, const std::string& label)
{
    std::size_t at = text.find(label);
    return at == std::string::npos ? -1 : std::stoll(text.substr(at + label.size()));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static Scratch s;
    writeFile(s.package, std::string(reinterpret_cast<const char*>(data), size));

    ToolOutput text, json;
    const int status = runVdrpack({"inspect", s.package}, text);
    FUZZ_CHECK(runVdrpack({"inspect", s.package, "--json"}, json) == status);
    FUZZ_CHECK(status == kToolOk || status == kToolNotPackage || status == kToolMalformed);
    FUZZ_CHECK(!json.out.empty() || status == kToolMalformed);
    FUZZ_CHECK((status == kToolOk) == text.err.empty());

    CPatchPackage pkg(s.package.c_str());
    const int found = pkg.checkSignature();
    FUZZ_CHECK((status == kToolNotPackage) == (found == 0));
    if (found) {
        char outPath[260];
        int result;
        {
            WorkingDir in(s.dest);
            result = pkg.detachFile(nullptr, outPath, sizeof outPath);
        }
        if (status == kToolOk && result == kDetachCreate) {
            // Names of 256 to 259 bytes are stored and accepted, but no file
            // system takes a file name that long.
            FUZZ_CHECK(std::strlen(outPath) > 255);
        } else if (status == kToolOk) {
            FUZZ_CHECK(result == kDetachDone);
            const long long contentSize = numberAfter(json.out, "\"contentSize\": ");
            FUZZ_CHECK(contentSize >= 0 &&
                       std::filesystem::file_size(s.dest + "/" + outPath) == static_cast<std::uintmax_t>(contentSize));
        } else {
            FUZZ_CHECK(result == kDetachNoTrailer || result == kDetachBadStart || result == kDetachNameRefused);
        }
        emptyDir(s.dest);
    }
    traceClear();
    return 0;
}
