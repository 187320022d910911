#include "package/PackagePlatform.h"

#include "common/Handles.h"
#include "common/Trace.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

namespace {

// The path as narrow text in the ANSI code page, only when every character
// has its own form there (no best-fit stand-ins, no "?") and it fits.
bool narrowPath(const wchar_t* wide, char* buf, std::size_t cap)
{
    const bool utf8 = GetACP() == CP_UTF8; // which takes neither the flag nor the question
    BOOL lossy = FALSE;
    int n = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide, -1, buf, static_cast<int>(cap), nullptr,
                                utf8 ? nullptr : &lossy);
    if (n <= 0 || lossy) {
        buf[0] = '\0';
        return false;
    }
    return true;
}

// The running module's path in UTF-16, however long; empty when it cannot be read.
std::wstring ownModulePathWide()
{
    std::wstring path(MAX_PATH, L'\0');
    for (int round = 0; round < 8; ++round) {
        DWORD n = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (n == 0)
            return std::wstring();
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
    return std::wstring();
}

} // namespace

bool packageOwnModulePath(char* buf, std::size_t cap)
{
    if (!buf || cap == 0)
        return false;
    buf[0] = '\0';
    const std::wstring wide = ownModulePathWide();
    if (wide.empty()) {
        traceLog("[Veldrun] Own path cannot be read (error %lu)\n", GetLastError());
        return false;
    }
    if (narrowPath(wide.c_str(), buf, cap))
        return true;
    // A folder named in another script, or a path past 259 characters: the
    // short form (8.3 names) may still say it in the ANSI code page.
    const std::wstring prefix = L"\\\\?\\";
    const std::wstring asked = (wide.size() >= MAX_PATH && wide.compare(0, 2, L"\\\\") != 0) ? prefix + wide : wide;
    std::wstring shortPath(asked.size() + 1, L'\0');
    DWORD n = GetShortPathNameW(asked.c_str(), &shortPath[0], static_cast<DWORD>(shortPath.size()));
    DWORD error = n == 0 ? GetLastError() : 0;
    if (n > 0 && n < shortPath.size()) {
        shortPath.resize(n);
        if (shortPath.compare(0, prefix.size(), prefix) == 0)
            shortPath.erase(0, prefix.size());
        if (narrowPath(shortPath.c_str(), buf, cap)) {
            traceLog("[Veldrun] Own path read in its short form: %s\n", buf);
            return true;
        }
    }
    traceLog("[Veldrun] Own path cannot be read as a path of the ANSI code page within %u bytes, nor its short form "
             "(error %lu)\n",
             static_cast<unsigned>(cap - 1), error);
    return false;
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
