#include "PublishTree.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace {

int fdOf(void* handle)
{
    return static_cast<int>(reinterpret_cast<intptr_t>(handle)) - 1;
}

void* handleOf(int fd)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd + 1));
}

} // namespace

void CPublishFileTraits::close(void* handle)
{
    ::close(fdOf(handle));
}

int CPublishFile::open(const std::string& dir, const std::string& folder)
{
    discard();
    m_bCommitted = false;
    int top = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (top < 0)
        return kPublishNoDir;
    CUniqueOwner<CPublishFileTraits> topOwner(handleOf(top));
    if (mkdirat(top, folder.c_str(), 0755) != 0 && errno != EEXIST)
        return kPublishFailed;
    // O_NOFOLLOW: a link planted under the folder's name is refused, not
    // followed out of the tree.
    int sub = openat(top, folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (sub < 0)
        return errno == ELOOP || errno == ENOTDIR ? kPublishLinkedDir : kPublishFailed;
    m_folder.reset(handleOf(sub));
    m_folderPath = dir + "/" + folder;
    struct stat st;
    if (fstat(sub, &st) != 0)
        return kPublishFailed;
    m_folderId = std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, ".vdrpack-publish-%08x", static_cast<unsigned>(random()));
        int fd = openat(sub, name, O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0) {
            m_file.reset(handleOf(fd));
            m_temp = name;
            fchmod(fd, 0644); // readable by the server whatever the umask
            return kPublishOk;
        }
        if (errno != EEXIST)
            return kPublishFailed;
    }
    return kPublishFailed;
}

bool CPublishFile::write(const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fdOf(m_file.get()), p, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool CPublishFile::readAt(std::uint64_t offset, void* buf, std::size_t size)
{
    char* p = static_cast<char*>(buf);
    while (size > 0) {
        ssize_t n = pread(fdOf(m_file.get()), p, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

int CPublishFile::commit(const std::string& name)
{
    if (!m_file || fsync(fdOf(m_file.get())) != 0)
        return kPublishFailed;
    // renameat replaces a file or a link of the name, never what a link
    // points to.
    if (renameat(fdOf(m_folder.get()), m_temp.c_str(), fdOf(m_folder.get()), name.c_str()) != 0)
        return kPublishFailed;
    m_bCommitted = true;
    m_file.reset();
    return kPublishOk;
}

void CPublishFile::discard()
{
    if (m_folder && !m_bCommitted && !m_temp.empty())
        unlinkat(fdOf(m_folder.get()), m_temp.c_str(), 0);
    m_file.reset();
    m_folder.reset();
    m_temp.clear();
}
