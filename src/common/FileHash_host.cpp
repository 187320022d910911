#include "common/FileHash.h"

#include <cstdio>

bool sha256OfFile(const char* path, unsigned char digest[kSha256Size])
{
    if (!path)
        return false;
    std::FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    CSha256 sha;
    unsigned char buf[16384];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        sha.update(buf, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    if (ok)
        sha.finish(digest);
    return ok;
}
