#include "FileEdit.h"

#include <cerrno>
#include <cstdint>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/file.h>
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

long long mtimeOf(const struct stat& st)
{
    return static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
}

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

void pause10ms()
{
    struct timespec ts = {0, 10 * 1000 * 1000};
    nanosleep(&ts, nullptr);
}

bool writeAll(int fd, const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

void CFileEditTraits::close(void* handle)
{
    ::close(fdOf(handle)); // releases the lock
}

int CFileEdit::open(const std::string& path, unsigned waitMs)
{
    close();
    m_bytes.clear();
    // A lock is held on an open file; the name may be given to another file
    // (the previous edit's replacement) while we wait, so the lock counts
    // only when the name still leads to the file locked. Bounded: each turn
    // waits at most 10 ms.
    for (unsigned waited = 0;; waited += 10) {
        char resolved[PATH_MAX];
        if (!realpath(path.c_str(), resolved))
            return kEditUnreadable;
        int fd = ::open(resolved, O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            return kEditUnreadable;
        struct stat held, named;
        bool locked = flock(fd, LOCK_EX | LOCK_NB) == 0;
        if (locked && fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && stat(resolved, &named) == 0 &&
            sameFile(held, named)) {
            m_handle.reset(handleOf(fd));
            m_target = resolved;
            m_size = static_cast<long long>(held.st_size);
            m_time = mtimeOf(held);
            break;
        }
        bool notRegular = locked && fstat(fd, &held) == 0 && !S_ISREG(held.st_mode);
        ::close(fd);
        if (notRegular)
            return kEditUnreadable;
        if (waited >= waitMs)
            return kEditBusy;
        pause10ms();
    }
    char buf[16384];
    for (;;) {
        ssize_t n = ::read(fdOf(m_handle.get()), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            close();
            return kEditUnreadable;
        }
        if (n == 0)
            break;
        m_bytes.append(buf, static_cast<std::size_t>(n));
    }
    return kEditOk;
}

int CFileEdit::replace(const std::string& content, const std::function<bool(const std::string&)>& verify)
{
    if (!m_handle)
        return kEditWriteFailed;
    struct stat held;
    if (fstat(fdOf(m_handle.get()), &held) != 0)
        return kEditWriteFailed;
    std::string dir = m_target.substr(0, m_target.rfind('/') + 1);
    std::string base = m_target.substr(m_target.rfind('/') + 1);
    std::string temp = dir + "." + base + ".vdrpack-XXXXXX";
    int fd = mkstemp(&temp[0]); // created exclusively, mode 600
    if (fd < 0)
        return kEditWriteFailed;
    // The target's owner where we may (root may; others keep their own),
    // then its mode: the new file never has more permissions than intended.
    bool owned = fchown(fd, held.st_uid, held.st_gid) == 0 || fchown(fd, static_cast<uid_t>(-1), held.st_gid) == 0;
    (void)owned; // a file of another owner becomes ours: as any editor leaves it
    bool ok = fchmod(fd, held.st_mode & 07777) == 0 && writeAll(fd, content) && fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok) {
        unlink(temp.c_str());
        return kEditWriteFailed;
    }
    if (verify && !verify(temp)) {
        unlink(temp.c_str());
        return kEditRefused;
    }
    // Right before the rename: the name still leads to the file read, and
    // nobody wrote to it since (an editor that takes no lock).
    struct stat now, named;
    if (fstat(fdOf(m_handle.get()), &now) != 0 || stat(m_target.c_str(), &named) != 0 || !sameFile(now, named) ||
        static_cast<long long>(now.st_size) != m_size || mtimeOf(now) != m_time) {
        unlink(temp.c_str());
        return kEditChanged;
    }
    if (rename(temp.c_str(), m_target.c_str()) != 0) {
        unlink(temp.c_str());
        return kEditWriteFailed;
    }
    return kEditOk;
}

int placeNewFile(const std::string& from, const std::string& to, bool replace)
{
    if (replace)
        return rename(from.c_str(), to.c_str()) == 0 ? kPlaceOk : kPlaceFailed;
    // A hard link is made only where nothing has the name, and never
    // follows a link that has it.
    if (link(from.c_str(), to.c_str()) != 0)
        return errno == EEXIST ? kPlaceExists : kPlaceFailed;
    unlink(from.c_str());
    return kPlaceOk;
}
