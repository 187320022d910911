#include "app/RunFolder.h"

#include "common/Trace.h"

#include <windows.h>
#include <ntsecapi.h>
#include <sddl.h>

#include <cstring>

// Protected (no entry inherited from the temporary directory); full control
// for SYSTEM and Administrators, inherited by everything made inside.
const char kRunFolderSddl[] = "D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";

namespace {
enum { kCreateTries = 8, kMaxEntries = 4096 };

bool randomName(char* out, std::size_t cap)
{
    unsigned char bytes[8] = {};
    if (!RtlGenRandom(bytes, sizeof bytes))
        return false;
    char hex[2 * sizeof bytes + 1] = {};
    for (std::size_t i = 0; i < sizeof bytes; ++i)
        std::snprintf(hex + 2 * i, 3, "%02x", bytes[i]);
    return formatBounded(out, cap, "vdr%s", hex);
}

// The run folder's security, converted from kRunFolderSddl; null (with the
// thread's last error set) when that failed.
CLocalOwner<PSECURITY_DESCRIPTOR> runFolderSecurity()
{
    PSECURITY_DESCRIPTOR sd = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorA(kRunFolderSddl, SDDL_REVISION_1, &sd, nullptr);
    return CLocalOwner<PSECURITY_DESCRIPTOR>(sd);
}
} // namespace

unsigned long CRunFolder::create(const char* tempDir)
{
    CLocalOwner<PSECURITY_DESCRIPTOR> sd = runFolderSecurity();
    if (!sd.get())
        return GetLastError() ? GetLastError() : ERROR_INVALID_SECURITY_DESCR;
    SECURITY_ATTRIBUTES sa = {sizeof sa, sd.get(), FALSE};
    DWORD error = ERROR_ALREADY_EXISTS;
    for (int i = 0; i < kCreateTries && error == ERROR_ALREADY_EXISTS; ++i) {
        char name[32] = {};
        char dir[kMaxText] = {};
        if (!randomName(name, sizeof name))
            return ERROR_GEN_FAILURE;
        if (!tempDir || !formatBounded(dir, sizeof dir - 1, "%s%s", tempDir, name))
            return ERROR_FILENAME_EXCED_RANGE;
        // Fails when the name exists in any form (folder, file, link): only
        // a folder this run made is used.
        if (!CreateDirectoryA(dir, &sa)) {
            error = GetLastError();
            continue;
        }
        // No delete sharing: nobody renames or removes it under the run.
        m_hFolder.reset(CreateFileA(dir, FILE_LIST_DIRECTORY | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (!m_hFolder) {
            error = GetLastError();
            RemoveDirectoryA(dir);
            return error ? error : ERROR_OPEN_FAILED;
        }
        formatBounded(m_szPath, sizeof m_szPath, "%s\\", dir);
        traceLog("[Veldrun] Run folder: %s\n", m_szPath);
        return 0;
    }
    return error;
}

int CRunFolder::remove()
{
    if (!m_szPath[0])
        return 0;
    int marked = 0;
    char pattern[kMaxText] = {};
    if (formatBounded(pattern, sizeof pattern, "%s*", m_szPath)) {
        WIN32_FIND_DATAA fd;
        HANDLE find = FindFirstFileA(pattern, &fd);
        for (int n = 0; find != INVALID_HANDLE_VALUE && n < kMaxEntries; ++n) {
            char entry[kMaxText] = {};
            bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
            // A link is removed as a link: DeleteFileA never follows it.
            if (!isDir && formatBounded(entry, sizeof entry, "%s%s", m_szPath, fd.cFileName) && !DeleteFileA(entry)) {
                MoveFileExA(entry, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
                ++marked;
            }
            if (!FindNextFileA(find, &fd))
                break;
        }
        if (find != INVALID_HANDLE_VALUE)
            FindClose(find);
    }
    m_hFolder.reset();
    char dir[kMaxText] = {};
    copyBounded(dir, sizeof dir, m_szPath);
    dir[std::strlen(dir) - 1] = '\0';
    if (!RemoveDirectoryA(dir)) {
        // Removed at the restart after the files marked before it.
        MoveFileExA(dir, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
        ++marked;
    }
    m_szPath[0] = '\0';
    return marked;
}
