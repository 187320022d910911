#include "common/WholeFile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

unsigned long writeWholeFile(const char* utf8Path, const std::string& bytes)
{
    if (!utf8Path || !*utf8Path)
        return EINVAL;
    if (std::strlen(utf8Path) > 259)
        return ENAMETOOLONG;
    std::string temp = std::string(utf8Path) + ".XXXXXX";
    int fd = mkstemp(&temp[0]);
    if (fd < 0)
        return static_cast<unsigned long>(errno);
    struct stat st = {};
    unsigned long error = 0;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        error = EINVAL;
    for (std::size_t done = 0; !error && done < bytes.size();) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            error = static_cast<unsigned long>(errno ? errno : EIO);
        else
            done += static_cast<std::size_t>(n);
    }
    if (!error && fsync(fd) != 0)
        error = static_cast<unsigned long>(errno);
    close(fd);
    if (!error && std::rename(temp.c_str(), utf8Path) != 0)
        error = static_cast<unsigned long>(errno);
    if (error)
        unlink(temp.c_str());
    return error;
}
