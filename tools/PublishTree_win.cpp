#include "PublishTree.h"

#include <windows.h>

#include <cstdio>
#include <random>

void CPublishFileTraits::close(void* handle)
{
    CloseHandle(handle);
}

namespace {

bool isPlainDirectory(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) && !(a & FILE_ATTRIBUTE_REPARSE_POINT);
}

} // namespace

int CPublishFile::open(const std::string& dir, const std::string& folder)
{
    discard();
    m_bCommitted = false;
    DWORD top = GetFileAttributesA(dir.c_str());
    if (top == INVALID_FILE_ATTRIBUTES || !(top & FILE_ATTRIBUTE_DIRECTORY))
        return kPublishNoDir;
    m_folderPath = dir + "\\" + folder;
    if (!CreateDirectoryA(m_folderPath.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return kPublishFailed;
    // A junction or link under the folder's name is refused, not followed.
    if (!isPlainDirectory(m_folderPath))
        return kPublishLinkedDir;
    HANDLE d = CreateFileA(m_folderPath.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (d == INVALID_HANDLE_VALUE)
        return kPublishFailed;
    m_folder.reset(d);
    BY_HANDLE_FILE_INFORMATION info;
    if (!GetFileInformationByHandle(d, &info))
        return kPublishFailed;
    m_folderId = std::to_string(info.dwVolumeSerialNumber) + ":" + std::to_string(info.nFileIndexHigh) + ":" +
                 std::to_string(info.nFileIndexLow);
    std::random_device random;
    for (int attempt = 0; attempt < 16; ++attempt) {
        char name[48];
        std::snprintf(name, sizeof name, ".vdrpack-publish-%08x", static_cast<unsigned>(random()));
        std::string path = m_folderPath + "\\" + name;
        HANDLE f = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
        if (f != INVALID_HANDLE_VALUE) {
            m_file.reset(f);
            m_temp = name;
            return kPublishOk;
        }
        if (GetLastError() != ERROR_FILE_EXISTS)
            return kPublishFailed;
    }
    return kPublishFailed;
}

bool CPublishFile::write(const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!WriteFile(m_file.get(), p, chunk, &done, nullptr) || done == 0)
            return false;
        p += done;
        size -= done;
    }
    return true;
}

bool CPublishFile::readAt(std::uint64_t offset, void* buf, std::size_t size)
{
    char* p = static_cast<char*>(buf);
    while (size > 0) {
        OVERLAPPED at = {};
        at.Offset = static_cast<DWORD>(offset);
        at.OffsetHigh = static_cast<DWORD>(offset >> 32);
        DWORD chunk = size > (1u << 20) ? (1u << 20) : static_cast<DWORD>(size);
        DWORD done = 0;
        if (!ReadFile(m_file.get(), p, chunk, &done, &at) || done == 0)
            return false;
        p += done;
        size -= done;
        offset += done;
    }
    return true;
}

int CPublishFile::commit(const std::string& name)
{
    if (!m_file || !FlushFileBuffers(m_file.get()))
        return kPublishFailed;
    m_file.reset();
    std::string from = m_folderPath + "\\" + m_temp;
    std::string to = m_folderPath + "\\" + name;
    // Replaces a file or a link of the name itself.
    if (!MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return kPublishFailed;
    m_bCommitted = true;
    return kPublishOk;
}

void CPublishFile::discard()
{
    m_file.reset();
    if (!m_bCommitted && !m_temp.empty())
        DeleteFileA((m_folderPath + "\\" + m_temp).c_str());
    m_folder.reset();
    m_temp.clear();
}
