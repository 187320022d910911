#include "package/PackagePlatform.h"

#include <windows.h>
#include <shlwapi.h>

bool packageOwnModulePath(char* buf, std::size_t cap)
{
    if (!buf || cap == 0)
        return false;
    DWORD n = GetModuleFileNameA(nullptr, buf, static_cast<DWORD>(cap));
    // A result equal to the capacity means the path was cut.
    if (n == 0 || n >= cap) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

bool packagePathExists(const char* path) { return path && PathFileExistsA(path); }

bool packageTruncateFile(const char* path, std::int64_t size)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    bool ok = SetFilePointerEx(h, pos, nullptr, FILE_BEGIN) && SetEndOfFile(h);
    CloseHandle(h);
    return ok;
}
