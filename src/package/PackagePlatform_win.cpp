#include "package/PackagePlatform.h"

#include "common/Handles.h"

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

bool packagePathExists(const char* path)
{
    return path && PathFileExistsA(path);
}

bool packageTruncateFile(const char* path, std::int64_t size)
{
    CHandleOwner h(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h)
        return false;
    LARGE_INTEGER pos;
    pos.QuadPart = size;
    return SetFilePointerEx(h.get(), pos, nullptr, FILE_BEGIN) && SetEndOfFile(h.get());
}

bool CPackageView::map(const char* path)
{
    // No one else may open the file for writing while it is being mapped,
    // and no one can cut it short while the view exists.
    CHandleOwner file(
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size;
    if (!file || !GetFileSizeEx(file.get(), &size) || size.QuadPart <= 0 || size.QuadPart > 2147483647)
        return false;
    CHandleOwner mapping(CreateFileMappingA(file.get(), nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return false;
    // The view keeps the mapping and the file open after their handles close.
    void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return false;
    m_pData = static_cast<const unsigned char*>(view);
    m_nSize = size.QuadPart;
    return true;
}

CPackageView::~CPackageView()
{
    if (m_pData)
        UnmapViewOfFile(m_pData);
}
