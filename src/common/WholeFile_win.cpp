#include "common/WholeFile.h"

#include "common/Handles.h"

#include <windows.h>

#include <cstring>
#include <vector>

namespace {
enum { kMaxPath = 259, kNameTries = 16 };

std::wstring wideOf(const char* utf8)
{
    std::wstring wide;
    int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
    if (n > 1) {
        wide.resize(static_cast<std::size_t>(n));
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, &wide[0], n);
        wide.resize(static_cast<std::size_t>(n - 1));
    }
    return wide;
}

// A fresh file beside path: CREATE_NEW fails on any existing name, a link
// included, so nothing planted there is written through.
HANDLE createBeside(const std::wstring& path, std::wstring& temp)
{
    LARGE_INTEGER seed = {};
    QueryPerformanceCounter(&seed);
    for (int i = 0; i < kNameTries; ++i) {
        wchar_t tail[40];
        swprintf(tail, 40, L".%lx%llx.tmp", GetCurrentProcessId(),
                 static_cast<unsigned long long>(seed.QuadPart) + static_cast<unsigned long long>(i));
        temp = path + tail;
        HANDLE file = CreateFileW(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION |
                                      FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
        if (file != INVALID_HANDLE_VALUE || GetLastError() != ERROR_FILE_EXISTS)
            return file;
    }
    SetLastError(ERROR_FILE_EXISTS);
    return INVALID_HANDLE_VALUE;
}

// Renames the file the handle holds (not whatever its name names by then)
// over target.
bool renameHeld(HANDLE file, const std::wstring& target)
{
    const std::size_t nameBytes = target.size() * sizeof(wchar_t);
    std::vector<unsigned char> buf(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* info = reinterpret_cast<FILE_RENAME_INFO*>(buf.data());
    info->ReplaceIfExists = TRUE;
    info->RootDirectory = nullptr;
    info->FileNameLength = static_cast<DWORD>(nameBytes);
    std::memcpy(info->FileName, target.c_str(), nameBytes);
    return SetFileInformationByHandle(file, FileRenameInfo, info, static_cast<DWORD>(buf.size())) != FALSE;
}
} // namespace

unsigned long writeWholeFile(const char* utf8Path, const std::string& bytes)
{
    std::wstring path = wideOf(utf8Path ? utf8Path : "");
    if (path.empty())
        return ERROR_INVALID_NAME;
    if (path.size() > kMaxPath)
        return ERROR_FILENAME_EXCED_RANGE;
    // The rename takes a full path; a relative one is the working directory's.
    wchar_t full[kMaxPath + 1] = {};
    DWORD n = GetFullPathNameW(path.c_str(), kMaxPath + 1, full, nullptr);
    if (n == 0 || n > kMaxPath)
        return n ? ERROR_FILENAME_EXCED_RANGE : GetLastError();
    path = full;
    std::wstring temp;
    CHandleOwner file(createBeside(path, temp));
    if (!file)
        return GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    DWORD error = 0;
    DWORD written = 0;
    if (GetFileType(file.get()) != FILE_TYPE_DISK)
        error = ERROR_BAD_FILE_TYPE;
    else if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) ||
             written != bytes.size() || !FlushFileBuffers(file.get()))
        error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    else if (!renameHeld(file.get(), path))
        error = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
    if (error) {
        // Removed through the handle: never a file someone put under its name since.
        FILE_DISPOSITION_INFO gone = {TRUE};
        SetFileInformationByHandle(file.get(), FileDispositionInfo, &gone, sizeof gone);
    }
    return error;
}
