#include "package/PackagePlatform.h"

#include "common/Handles.h"
#include "common/SystemDll.h"

#include <windows.h>
#include <shlwapi.h>
#include <softpub.h>
#include <wintrust.h>

#include <cwchar>
#include <vector>

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
    // The view keeps the mapping and the file open after their handles close.
    return file && mapOpen(file.get()) == 0;
}

unsigned long CPackageView::mapOpen(void* handle)
{
    HANDLE file = static_cast<HANDLE>(handle);
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file, &size))
        return GetLastError();
    if (size.QuadPart <= 0 || size.QuadPart > 2147483647)
        return ERROR_FILE_INVALID;
    CHandleOwner mapping(CreateFileMappingA(file, nullptr, PAGE_READONLY, 0, 0, nullptr));
    if (!mapping)
        return GetLastError();
    void* view = MapViewOfFile(mapping.get(), FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return GetLastError();
    m_pData = static_cast<const unsigned char*>(view);
    m_nSize = size.QuadPart;
    return 0;
}

namespace {

// The running program's own path in UTF-16 into path (the "\\?\" form past
// MAX_PATH, where only that form opens): the name to open, or null with the
// error in *error.
const wchar_t* ownModulePath(std::vector<wchar_t>& path, unsigned long* error)
{
    // Whatever the folder's script: the ANSI code page may have no form of it.
    path.assign(32768, L'\0');
    const std::size_t prefix = 4;
    DWORD n = GetModuleFileNameW(nullptr, path.data() + prefix, static_cast<DWORD>(path.size() - prefix));
    if (n == 0 || n >= path.size() - prefix) {
        *error = n == 0 ? GetLastError() : ERROR_FILENAME_EXCED_RANGE;
        return nullptr;
    }
    const wchar_t* name = path.data() + prefix;
    if (n >= MAX_PATH && name[0] != L'\\') {
        std::wmemcpy(path.data(), L"\\\\?\\", prefix);
        name = path.data();
    }
    return name;
}

} // namespace

unsigned long CPackageView::holdOwnFile()
{
    if (m_pData)
        return ERROR_ALREADY_INITIALIZED;
    std::vector<wchar_t> path;
    unsigned long error = 0;
    const wchar_t* name = ownModulePath(path, &error);
    if (!name)
        return error;
    // Sharing decides for the whole time the handle is open (a view alone
    // would not keep others from writing once the handle is closed).
    CHandleOwner file(
        CreateFileW(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return GetLastError();
    error = mapOpen(file.get());
    if (error == 0)
        m_hFile.reset(file.release());
    return error;
}

long CPackageView::verifySignature() const
{
    std::vector<wchar_t> path;
    unsigned long error = 0;
    // The path only names the file: the held handle is what is checked.
    const wchar_t* name = ownModulePath(path, &error);
    return m_hFile ? verifyHeldSignature(m_hFile.get(), name) : kNoSignatureCheck;
}

long verifyHeldSignature(void* handle, const wchar_t* path)
{
    WINTRUST_FILE_INFO file = {};
    file.cbStruct = sizeof file;
    file.pcwszFilePath = path ? path : L"";
    file.hFile = static_cast<HANDLE>(handle);
    WINTRUST_DATA data = {};
    data.cbStruct = sizeof data;
    data.dwUIChoice = WTD_UI_NONE;
    data.fdwRevocationChecks = WTD_REVOKE_NONE;
    data.dwUnionChoice = WTD_CHOICE_FILE;
    data.pFile = &file;
    data.dwStateAction = WTD_STATEACTION_VERIFY;
    data.dwProvFlags = WTD_CACHE_ONLY_URL_RETRIEVAL | WTD_REVOCATION_CHECK_NONE;
    GUID action = WINTRUST_ACTION_GENERIC_VERIFY_V2;
    // wintrust is no KnownDLL: loaded from System32 only, on first use (a
    // missing one gives TRUST_E_PROVIDER_UNKNOWN, a signature not verified).
    HWND noUi = static_cast<HWND>(INVALID_HANDLE_VALUE);
    LONG result = SYSTEM_CALL(L"wintrust.dll", WinVerifyTrust, kNoSignatureCheck, (noUi, &action, &data));
    data.dwStateAction = WTD_STATEACTION_CLOSE;
    SYSTEM_CALL(L"wintrust.dll", WinVerifyTrust, kNoSignatureCheck, (noUi, &action, &data));
    return result;
}

void CPackageView::CHeldTraits::close(void* handle)
{
    CloseHandle(static_cast<HANDLE>(handle));
}

void CPackageView::close()
{
    if (m_pData)
        UnmapViewOfFile(m_pData);
    m_hFile.reset();
    m_pData = nullptr;
    m_nSize = 0;
}

const unsigned char* packageLoadedHeaders(std::int64_t* size)
{
    auto* base = reinterpret_cast<const unsigned char*>(GetModuleHandleW(nullptr));
    MEMORY_BASIC_INFORMATION info = {};
    if (!base || !VirtualQuery(base, &info, sizeof info) || info.State != MEM_COMMIT)
        return nullptr;
    // The first region of the image: the headers' pages.
    *size = static_cast<std::int64_t>(info.RegionSize);
    return base;
}
