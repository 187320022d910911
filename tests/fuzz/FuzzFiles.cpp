#include "FuzzFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

std::set<std::string> dirEntries(const std::string& dir)
{
    std::set<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        names.insert(it->path().filename().string());
    return names;
}

void emptyDir(const std::string& dir)
{
    for (const std::string& name : dirEntries(dir)) {
        std::error_code ec;
        std::filesystem::remove_all(std::filesystem::path(dir) / name, ec);
    }
}

void fuzzFail(const char* what)
{
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
