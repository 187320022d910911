#include "package/PackagePlatform.h"

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

bool packageTruncateFile(const char* path, std::int64_t size) { return truncate(path, static_cast<off_t>(size)) == 0; }
