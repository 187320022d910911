#include "common/FileHash.h"

#include <cstdio>

#include <unistd.h>

namespace {
// An existing file for reading ("rb"), or a new one that must not exist yet ("w+bx").
void* openStream(const char* path, const char* mode)
{
    return path ? std::fopen(path, mode) : nullptr;
}
} // namespace

bool CHeldFile::open(const char* path)
{
    close();
    m_file.reset(openStream(path, "rb"));
    return isOpen();
}

bool CHeldFile::create(const char* path)
{
    close();
    m_file.reset(openStream(path, "w+bx"));
    m_written.reset();
    m_bWrittenHere = isOpen();
    return isOpen();
}

bool CHeldFile::write(const void* data, std::size_t len)
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    bool written = f && std::fwrite(data, 1, len, f) == len && std::fflush(f) == 0;
    if (written && m_bWrittenHere)
        m_written.update(data, len);
    m_bWrittenHere = m_bWrittenHere && written;
    return written;
}

bool CHeldFile::restart()
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    if (!f || std::fflush(f) != 0 || ftruncate(fileno(f), 0) != 0 || std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    m_written.reset();
    m_bWrittenHere = true;
    return true;
}

// The host has no sharing modes to change: the stream stays as it is.
bool CHeldFile::keepForReading()
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    return f && std::fflush(f) == 0;
}

void CHeldFileTraits::close(void* handle)
{
    std::fclose(static_cast<std::FILE*>(handle));
}

bool CHeldFile::readSha256(unsigned char digest[kSha256Size])
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    if (!f || std::fseek(f, 0, SEEK_SET) != 0)
        return false;
    CSha256 sha;
    unsigned char buf[16384];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        sha.update(buf, n);
    if (std::ferror(f))
        return false;
    sha.finish(digest);
    return true;
}

std::int64_t CHeldFile::size()
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    if (!f || std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    long n = std::ftell(f);
    return n < 0 ? -1 : static_cast<std::int64_t>(n);
}

bool CHeldFile::readAt(std::uint64_t offset, void* buf, std::size_t len)
{
    auto* f = static_cast<std::FILE*>(m_file.get());
    if (!f || offset > 0x7FFFFFFFu || std::fseek(f, static_cast<long>(offset), SEEK_SET) != 0)
        return false;
    return std::fread(buf, 1, len, f) == len;
}
