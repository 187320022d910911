#include "package/PackagePlatform.h"

#include <cerrno>
#include <cstdint>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

bool packageOwnModulePath(char* buf, std::size_t cap)
{
    if (!buf || cap == 0)
        return false;
    ssize_t n = readlink("/proc/self/exe", buf, cap);
    if (n <= 0 || static_cast<std::size_t>(n) >= cap) {
        buf[0] = '\0';
        return false;
    }
    buf[n] = '\0';
    return true;
}

bool packagePathExists(const char* path)
{
    struct stat st;
    return path && stat(path, &st) == 0;
}

bool packageTruncateFile(const char* path, std::int64_t size)
{
    return truncate(path, static_cast<off_t>(size)) == 0;
}

bool CPackageView::map(const char* path)
{
    int fd = path ? open(path, O_RDONLY | O_CLOEXEC) : -1;
    if (fd < 0)
        return false;
    bool mapped = mapOpen(&fd) == 0;
    ::close(fd);
    return mapped;
}

unsigned long CPackageView::mapOpen(void* file)
{
    int fd = *static_cast<int*>(file);
    struct stat st;
    void* p = MAP_FAILED;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0 && st.st_size <= 2147483647)
        p = mmap(nullptr, static_cast<std::size_t>(st.st_size), PROT_READ, MAP_PRIVATE, fd, 0);
    if (p == MAP_FAILED)
        return EINVAL;
    m_pData = static_cast<const unsigned char*>(p);
    m_nSize = st.st_size;
    return 0;
}

unsigned long CPackageView::holdOwnFile()
{
    if (m_pData)
        return EALREADY;
    int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return static_cast<unsigned long>(errno);
    unsigned long error = mapOpen(&fd);
    if (error == 0)
        m_hFile.reset(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd) + 1));
    else
        ::close(fd);
    return error;
}

long CPackageView::verifySignature() const
{
    return kNoSignatureCheck;
}

long verifyHeldSignature(void*, const wchar_t*)
{
    return kNoSignatureCheck;
}

void CPackageView::CHeldTraits::close(void* handle)
{
    ::close(static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1));
}

void CPackageView::close()
{
    if (m_pData)
        munmap(const_cast<unsigned char*>(m_pData), static_cast<std::size_t>(m_nSize));
    m_hFile.reset();
    m_pData = nullptr;
    m_nSize = 0;
}

const unsigned char* packageLoadedHeaders(std::int64_t*)
{
    return nullptr;
}
