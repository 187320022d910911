#include "FileEdit.h"

#include <windows.h>

namespace {

bool fileInfo(HANDLE h, BY_HANDLE_FILE_INFORMATION& info)
{
    return GetFileInformationByHandle(h, &info) != 0;
}

bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
           a.nFileIndexLow == b.nFileIndexLow;
}

long long sizeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

long long timeOf(const BY_HANDLE_FILE_INFORMATION& info)
{
    return (static_cast<long long>(info.ftLastWriteTime.dwHighDateTime) << 32) | info.ftLastWriteTime.dwLowDateTime;
}

// The file the name leads to now.
bool namedInfo(const std::string& path, BY_HANDLE_FILE_INFORMATION& info)
{
    HANDLE h = CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    bool ok = fileInfo(h, info);
    CloseHandle(h);
    return ok;
}

// The path of the open file with its links resolved, or path itself when
// the platform cannot tell.
std::string finalPath(HANDLE h, const std::string& path)
{
    char buf[MAX_PATH + 8];
    DWORD n = GetFinalPathNameByHandleA(h, buf, sizeof buf, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0 || n >= sizeof buf)
        return path;
    std::string s(buf, n);
    if (s.compare(0, 8, "\\\\?\\UNC\\") == 0)
        return "\\" + s.substr(7);
    if (s.compare(0, 4, "\\\\?\\") == 0)
        return s.substr(4);
    return s;
}

} // namespace

void CFileEditTraits::close(void* handle)
{
    CloseHandle(static_cast<HANDLE>(handle)); // releases the lock
}

int CFileEdit::open(const std::string& path, unsigned waitMs)
{
    close();
    m_bytes.clear();
    // The lock counts only while the name still leads to the file locked:
    // the previous edit may have put its replacement there while we waited.
    for (unsigned waited = 0;; waited += 10) {
        HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            return kEditUnreadable;
        OVERLAPPED whole = {};
        BY_HANDLE_FILE_INFORMATION held, named;
        bool locked = LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole);
        if (locked && fileInfo(h, held) && !(held.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
            namedInfo(path, named) && sameFile(held, named)) {
            m_handle.reset(h);
            m_target = finalPath(h, path);
            m_size = sizeOf(held);
            m_time = timeOf(held);
            break;
        }
        CloseHandle(h);
        if (waited >= waitMs)
            return kEditBusy;
        Sleep(10);
    }
    char buf[16384];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(static_cast<HANDLE>(m_handle.get()), buf, sizeof buf, &n, nullptr)) {
            close();
            return kEditUnreadable;
        }
        if (n == 0)
            break;
        m_bytes.append(buf, n);
    }
    return kEditOk;
}

int CFileEdit::replace(const std::string& content, const std::function<bool(const std::string&)>& verify)
{
    BY_HANDLE_FILE_INFORMATION held;
    if (!m_handle || !fileInfo(static_cast<HANDLE>(m_handle.get()), held))
        return kEditWriteFailed;
    std::string dir = m_target.substr(0, m_target.find_last_of("\\/") + 1);
    char temp[MAX_PATH];
    if (dir.empty() || !GetTempFileNameA(dir.c_str(), "vdr", 0, temp)) // a new file of a unique name
        return kEditWriteFailed;
    HANDLE out = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    bool ok = out != INVALID_HANDLE_VALUE;
    DWORD written = 0;
    ok = ok && WriteFile(out, content.data(), static_cast<DWORD>(content.size()), &written, nullptr) &&
         written == content.size() && FlushFileBuffers(out);
    if (out != INVALID_HANDLE_VALUE)
        ok = CloseHandle(out) && ok;
    // The target's attributes (hidden, archive, ...) stay with the file.
    ok = ok && SetFileAttributesA(temp, held.dwFileAttributes & ~FILE_ATTRIBUTE_READONLY);
    if (!ok) {
        DeleteFileA(temp);
        return kEditWriteFailed;
    }
    if (verify && !verify(temp)) {
        DeleteFileA(temp);
        return kEditRefused;
    }
    BY_HANDLE_FILE_INFORMATION now, named;
    if (!fileInfo(static_cast<HANDLE>(m_handle.get()), now) || !namedInfo(m_target, named) || !sameFile(now, named) ||
        sizeOf(now) != m_size || timeOf(now) != m_time) {
        DeleteFileA(temp);
        return kEditChanged;
    }
    // A file that is open cannot be replaced under Wine (nor on Windows
    // when any handle lacks delete sharing): the lock ends here. A second
    // edit that takes the lock now finds the name led elsewhere when it
    // replaces (kEditChanged), or keeps the old file open and makes this
    // move fail: one of the two says it failed, none is lost.
    close();
    if (!MoveFileExA(temp, m_target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp);
        return kEditWriteFailed;
    }
    return kEditOk;
}

int placeNewFile(const std::string& from, const std::string& to, bool replace)
{
    if (MoveFileExA(from.c_str(), to.c_str(), replace ? MOVEFILE_REPLACE_EXISTING : 0))
        return kPlaceOk;
    DWORD e = GetLastError();
    return e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS ? kPlaceExists : kPlaceFailed;
}
