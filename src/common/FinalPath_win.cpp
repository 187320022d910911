#include "common/FinalPath.h"

#include <windows.h>

#include <vector>

bool finalPathOf(void* handle, std::wstring& path)
{
    const DWORD kMaxWidePath = 32768; // the platform's longest path, in characters
    std::vector<wchar_t> buf(kMaxWidePath);
    DWORD n = GetFinalPathNameByHandleW(handle, buf.data(), kMaxWidePath, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= kMaxWidePath)
        return false;
    path.assign(buf.data(), n);
    const std::wstring prefix = L"\\\\?\\";
    if (path.compare(0, prefix.size(), prefix) == 0)
        path.erase(0, prefix.size());
    return path.size() >= 3 && path[1] == L':' && path[2] == L'\\' &&
           ((path[0] >= L'A' && path[0] <= L'Z') || (path[0] >= L'a' && path[0] <= L'z'));
}
