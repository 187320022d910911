#include "common/FileHash.h"

bool sha256OfFile(const char* path, unsigned char digest[kSha256Size])
{
    CHeldFile file;
    return file.open(path) && file.sha256(digest);
}

bool CHeldFile::sha256(unsigned char digest[kSha256Size])
{
    if (!m_bWrittenHere || !isOpen())
        return readSha256(digest);
    CSha256 copy = m_written;
    copy.finish(digest);
    return true;
}
