#include "app/RunFolder.h"

#include "common/FinalPath.h"
#include "common/SystemDll.h"
#include "common/Trace.h"
#include "update/PatchEnvironment.h"

#include <windows.h>
#include <winternl.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// Protected (no entry inherited from the parent); full control for SYSTEM
// and Administrators, inherited by everything made inside.
const char kRunFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {
enum {
    kCreateTries = 8,
    kMaxEntries = 4096,      // entries removed in all, however deep
    kMaxDepth = 16,          // folders inside folders the removal descends into
    kMaxComponents = 64,     // components of a final path checked
    kListingBytes = 0x10000, // one listing call's buffer
    kSettlePollMs = 20
};

bool randomName(wchar_t* out, std::size_t cap)
{
    unsigned char bytes[8] = {};
    if (!RtlGenRandom(bytes, sizeof bytes))
        return false;
    int n = _snwprintf(out, cap, L"vdr");
    for (std::size_t i = 0; i < sizeof bytes && n > 0; ++i)
        n += _snwprintf(out + n, cap - static_cast<std::size_t>(n), L"%02x", bytes[i]);
    return n == 3 + 2 * static_cast<int>(sizeof bytes);
}

// The run folder's security, converted from kRunFolderSddl; null (with the
// thread's last error set) when that failed.
CLocalOwner<PSECURITY_DESCRIPTOR> runFolderSecurity()
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(kRunFolderSddl, SDDL_REVISION_1, &sd, nullptr);
    return CLocalOwner<PSECURITY_DESCRIPTOR>(sd);
}

// The places the folder may be made in, best first: the Windows folder as
// the system knows it (never %SystemRoot% of the environment, which the
// user's own variables may change) with SystemTemp, then Temp.
std::vector<std::wstring> systemTempParents()
{
    wchar_t windows[MAX_PATH] = {};
    UINT n = GetSystemWindowsDirectoryW(windows, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return {};
    std::wstring root(windows, n);
    if (root.back() != L'\\')
        root += L'\\';
    return {root + L"SystemTemp", root + L"Temp"};
}

// Opens path itself, never what a link there leads to, for reading its
// attributes only.
CHandleOwner openItself(const std::wstring& path)
{
    return CHandleOwner(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
}

// True when the handle's file is a folder and no reparse point (junction,
// symbolic link, mount point).
bool isPlainFolder(HANDLE h)
{
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    return GetFileInformationByHandleEx(h, FileAttributeTagInfo, &tag, sizeof tag) &&
           (tag.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The volume and the file index of the handle's file: which file it is,
// whatever its name.
bool fileIdOf(HANDLE h, std::uint64_t& volume, std::uint64_t& index)
{
    BY_HANDLE_FILE_INFORMATION info = {};
    if (!GetFileInformationByHandle(h, &info))
        return false;
    volume = info.dwVolumeSerialNumber;
    index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
    return true;
}

bool sameFile(HANDLE a, HANDLE b)
{
    std::uint64_t volumeA = 0, indexA = 0, volumeB = 0, indexB = 0;
    return fileIdOf(a, volumeA, indexA) && fileIdOf(b, volumeB, indexB) && volumeA == volumeB && indexA == indexB;
}

// The held folder's final path ("C:\...", no final backslash) when every
// component of it, from the drive's root down, is a plain folder and the
// path leads to the held folder itself; else the platform's error (the
// path is then not to be used).
unsigned long confirmedFinalPath(HANDLE held, std::wstring& path)
{
    if (!finalPathOf(held, path))
        return GetLastError() ? GetLastError() : ERROR_BAD_PATHNAME;
    while (path.size() > 3 && path.back() == L'\\')
        path.pop_back();
    // Each prefix that ends at a backslash is a folder above; the whole
    // path is the held folder itself.
    std::size_t end = 2; // "C:\" is the first component
    for (int i = 0; i < kMaxComponents; ++i) {
        bool last = end >= path.size();
        std::wstring component = last ? path : path.substr(0, end + 1);
        CHandleOwner h = openItself(component);
        if (!h)
            return GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
        if (!isPlainFolder(h.get()))
            return ERROR_REPARSE_ATTRIBUTE_CONFLICT;
        if (last)
            return sameFile(h.get(), held) ? 0 : ERROR_BAD_PATHNAME;
        end = path.find(L'\\', end + 1);
        if (end == std::wstring::npos)
            end = path.size();
    }
    return ERROR_FILENAME_EXCED_RANGE;
}

// ---------------------------------------------------------------- removal

// Opens `name`, an entry of the folder `dir`, relative to that handle
// (never by a path that could lead elsewhere), the entry itself even when
// it is a link. Null when it cannot be opened.
CHandleOwner openEntry(HANDLE dir, const std::wstring& name, ACCESS_MASK access)
{
    if (name.empty() || name.size() * sizeof(wchar_t) > 0xFFF0)
        return CHandleOwner();
    UNICODE_STRING text = {};
    text.Buffer = const_cast<wchar_t*>(name.c_str());
    text.Length = static_cast<USHORT>(name.size() * sizeof(wchar_t));
    text.MaximumLength = text.Length;
    OBJECT_ATTRIBUTES attributes = {};
    attributes.Length = sizeof attributes;
    attributes.RootDirectory = dir;
    attributes.ObjectName = &text;
    attributes.Attributes = OBJ_CASE_INSENSITIVE;
    IO_STATUS_BLOCK io = {};
    HANDLE h = nullptr;
    const ULONG options = FILE_OPEN_REPARSE_POINT | FILE_OPEN_FOR_BACKUP_INTENT | FILE_SYNCHRONOUS_IO_NONALERT;
    NTSTATUS status =
        SYSTEM_CALL(L"ntdll.dll", NtCreateFile, static_cast<NTSTATUS>(kNtNotFound),
                    (&h, access | SYNCHRONIZE, &attributes, &io, nullptr, 0,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, FILE_OPEN, options, nullptr, 0));
    if (status < 0)
        SetLastError(SYSTEM_CALL(L"ntdll.dll", RtlNtStatusToDosError, ERROR_OPEN_FAILED, (status)));
    return CHandleOwner(status >= 0 ? h : nullptr);
}

// The names in the folder (without "." and ".."), read through its handle;
// at most `budget` of them.
std::vector<std::wstring> listFolder(HANDLE dir, int budget)
{
    std::vector<std::wstring> names;
    std::vector<LONGLONG> buf(kListingBytes / sizeof(LONGLONG)); // aligned for the records
    auto* bytes = reinterpret_cast<const unsigned char*>(buf.data());
    FILE_INFO_BY_HANDLE_CLASS kind = FileIdBothDirectoryRestartInfo;
    for (int calls = 0; calls < kMaxEntries && static_cast<int>(names.size()) < budget; ++calls) {
        if (!GetFileInformationByHandleEx(dir, kind, buf.data(), kListingBytes))
            break; // ERROR_NO_MORE_FILES, or the folder cannot be listed
        kind = FileIdBothDirectoryInfo;
        for (std::size_t at = 0; at + offsetof(FILE_ID_BOTH_DIR_INFO, FileName) <= kListingBytes;) {
            auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(bytes + at);
            std::size_t chars = entry->FileNameLength / sizeof(wchar_t);
            if (at + offsetof(FILE_ID_BOTH_DIR_INFO, FileName) + chars * sizeof(wchar_t) > kListingBytes)
                break;
            std::wstring name(entry->FileName, chars);
            if (name != L"." && name != L".." && static_cast<int>(names.size()) < budget)
                names.push_back(name);
            if (entry->NextEntryOffset == 0)
                break;
            at += entry->NextEntryOffset;
        }
    }
    return names;
}

struct Removal {
    int budget = kMaxEntries;
    int marked = 0;
};

// Marks path for removal at the next restart (it lies inside the run
// folder's final path: the caller built it from there).
void markForRestart(const std::wstring& path, Removal& removal, unsigned long error)
{
    MoveFileExW(path.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    ++removal.marked;
    char narrow[kMaxText] = {};
    WideCharToMultiByte(CP_ACP, 0, path.c_str(), -1, narrow, kMaxText - 1, nullptr, nullptr);
    traceLog("[Veldrun] Removed at the next restart (error %lu): %s\n", error, narrow);
}

bool deleteByHandle(HANDLE h)
{
    FILE_DISPOSITION_INFO disposition = {TRUE};
    return SetFileInformationByHandle(h, FileDispositionInfo, &disposition, sizeof disposition) != FALSE;
}

void emptyFolder(HANDLE dir, const std::wstring& path, int depth, Removal& removal);

// Removes the entry `name` of the folder `dir` (final path `path`): a
// plain folder after its contents; a link, of whatever kind, as itself.
void removeEntry(HANDLE dir, const std::wstring& path, const std::wstring& name, int depth, Removal& removal)
{
    const std::wstring full = path + L"\\" + name;
    CHandleOwner h = openEntry(dir, name, DELETE | FILE_READ_ATTRIBUTES | FILE_LIST_DIRECTORY);
    if (!h) // a file others hold without read sharing
        h = openEntry(dir, name, DELETE | FILE_READ_ATTRIBUTES);
    if (h && isPlainFolder(h.get()) && depth < kMaxDepth)
        emptyFolder(h.get(), full, depth + 1, removal);
    if (!h || !deleteByHandle(h.get()))
        markForRestart(full, removal, GetLastError());
}

void emptyFolder(HANDLE dir, const std::wstring& path, int depth, Removal& removal)
{
    for (const std::wstring& name : listFolder(dir, removal.budget)) {
        if (removal.budget-- <= 0)
            return;
        // A name the listing gives is a single component; anything else is
        // not acted on.
        if (name.find_first_of(L"\\/") == std::wstring::npos)
            removeEntry(dir, path, name, depth, removal);
    }
}

} // namespace

unsigned long CRunFolder::create(const wchar_t* parent)
{
    CLocalOwner<PSECURITY_DESCRIPTOR> sd = runFolderSecurity();
    if (!sd.get())
        return GetLastError() ? GetLastError() : ERROR_INVALID_SECURITY_DESCR;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.get(), FALSE};
    std::vector<std::wstring> parents = parent ? std::vector<std::wstring>{parent} : systemTempParents();
    DWORD error = ERROR_PATH_NOT_FOUND;
    for (const std::wstring& place : parents) {
        // SystemTemp is missing before Windows 11, and closed to all but
        // SYSTEM on some: Temp then.
        DWORD attributes = GetFileAttributesW(place.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
            error = ERROR_PATH_NOT_FOUND;
            continue;
        }
        error = ERROR_ALREADY_EXISTS;
        for (int i = 0; i < kCreateTries && error == ERROR_ALREADY_EXISTS; ++i) {
            wchar_t name[32] = {};
            if (!randomName(name, 32))
                return ERROR_GEN_FAILURE;
            std::wstring dir = place + L"\\" + name;
            // Fails when the name exists in any form (folder, file, link):
            // only a folder this run made is used.
            if (!CreateDirectoryW(dir.c_str(), &sa)) {
                error = GetLastError();
                continue;
            }
            error = hold(dir, sa);
            return error;
        }
        if (error == ERROR_ALREADY_EXISTS)
            return error;
    }
    return error;
}

unsigned long CRunFolder::hold(const std::wstring& made, SECURITY_ATTRIBUTES& sa)
{
    // No delete sharing: nobody renames or removes it under the run.
    m_hFolder.reset(CreateFileW(made.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!m_hFolder) {
        DWORD error = GetLastError();
        RemoveDirectoryW(made.c_str());
        return error ? error : ERROR_OPEN_FAILED;
    }
    std::wstring finalPath;
    unsigned long error = confirmedFinalPath(m_hFolder.get(), finalPath);
    bool madeTemp = !error && CreateDirectoryW((finalPath + L"\\" + kPatchTempName).c_str(), &sa);
    if (!error && !madeTemp)
        error = GetLastError() ? GetLastError() : ERROR_CANNOT_MAKE;
    char narrow[kMaxText] = {};
    BOOL lossy = FALSE;
    if (!error && (WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, (finalPath + L"\\").c_str(), -1, narrow,
                                       kMaxText - 1, nullptr, &lossy) <= 0 ||
                   lossy))
        error = ERROR_FILENAME_EXCED_RANGE;
    if (error) {
        // Its "tmp" undone through the held handle, as the removal at the
        // end goes; the folder itself only while empty.
        if (madeTemp) {
            CHandleOwner temp = openEntry(m_hFolder.get(), kPatchTempName, DELETE);
            if (temp)
                deleteByHandle(temp.get());
        }
        m_hFolder.reset();
        RemoveDirectoryW(made.c_str());
        traceLog("[Veldrun] Run folder made but not confirmed (error %lu), not used\n", error);
        return error;
    }
    m_wsPath = finalPath + L"\\";
    copyBounded(m_szPath, sizeof m_szPath, narrow);
    traceLog("[Veldrun] Run folder: %s\n", m_szPath);
    return 0;
}

std::wstring CRunFolder::tempPath() const
{
    return m_wsPath.empty() ? std::wstring() : m_wsPath + kPatchTempName;
}

int CRunFolder::remove(unsigned settleMs)
{
    if (!m_hFolder)
        return 0;
    Removal removal;
    std::wstring dir = m_wsPath.substr(0, m_wsPath.size() - 1);
    emptyFolder(m_hFolder.get(), dir, 0, removal);
    std::uint64_t volume = 0, index = 0;
    bool known = fileIdOf(m_hFolder.get(), volume, index);
    m_hFolder.reset();
    // Opened again by its final path for its own removal (the held handle
    // shares no deletion, not even with this run): only administrators can
    // change the name in its parent, and it must still be the same folder.
    // A process that worked in it keeps it open a little after its end (the
    // console host of a console patch): within settleMs that is waited for.
    CHandleOwner self;
    for (ULONGLONG end = GetTickCount64() + settleMs;;) {
        self.reset(CreateFileW(dir.c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (self || GetLastError() != ERROR_SHARING_VIOLATION || GetTickCount64() >= end)
            break;
        Sleep(kSettlePollMs);
    }
    std::uint64_t selfVolume = 0, selfIndex = 0;
    bool same = self && known && fileIdOf(self.get(), selfVolume, selfIndex) && selfVolume == volume &&
                selfIndex == index && isPlainFolder(self.get());
    // Removed when the handle closes; if anything is left (or it cannot be
    // opened now), at the restart after what was marked before it. Another
    // folder under its name is left alone.
    if (!self || (same && !deleteByHandle(self.get())))
        markForRestart(dir, removal, GetLastError());
    m_szPath[0] = '\0';
    m_wsPath.clear();
    return removal.marked;
}
