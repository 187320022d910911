#include "common/FileHash.h"

bool sha256OfFile(const char* path, unsigned char digest[kSha256Size])
{
    CHeldFile file;
    return file.open(path) && file.sha256(digest);
}
