#include "common/FileHash.h"

#include "common/Handles.h"
#include "common/SystemDll.h"

bool CHeldFile::open(const char* path)
{
    close();
    if (!path)
        return false;
    // Read sharing only: no writer, no rename, no delete while held.
    HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_file.reset(h);
    return true;
}

bool CHeldFile::create(const char* path)
{
    close();
    if (!path)
        return false;
    // Written and read through this one handle: there is no moment between
    // writing and holding in which someone else could open it for writing.
    HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    m_file.reset(h);
    return true;
}

bool CHeldFile::write(const void* data, std::size_t len)
{
    DWORD n = 0;
    return m_file && len <= 0xFFFFFFFFu &&
           WriteFile(static_cast<HANDLE>(m_file.get()), data, static_cast<DWORD>(len), &n, nullptr) && n == len;
}

void CHeldFileTraits::close(void* handle)
{
    CloseHandle(static_cast<HANDLE>(handle));
}

bool CHeldFile::sha256(unsigned char digest[kSha256Size])
{
    if (!m_file)
        return false;
    HANDLE h = static_cast<HANDLE>(m_file.get());
    LARGE_INTEGER zero = {};
    if (!SetFilePointerEx(h, zero, nullptr, FILE_BEGIN))
        return false;
    // Declared in this order so that the hash goes before its provider.
    CBCryptAlgOwner alg;
    CBCryptHashOwner hash;
    if (SYSTEM_CALL(L"bcrypt.dll", BCryptOpenAlgorithmProvider, kNtNotFound,
                    (alg.receive(), BCRYPT_SHA256_ALGORITHM, nullptr, 0)) < 0)
        return false;
    if (SYSTEM_CALL(L"bcrypt.dll", BCryptCreateHash, kNtNotFound,
                    (alg.get(), hash.receive(), nullptr, 0, nullptr, 0, 0)) < 0)
        return false;
    unsigned char buf[16384];
    DWORD n = 0;
    for (;;) {
        if (!ReadFile(h, buf, sizeof buf, &n, nullptr))
            return false;
        if (n == 0)
            break;
        if (SYSTEM_CALL(L"bcrypt.dll", BCryptHashData, kNtNotFound, (hash.get(), buf, n, 0)) < 0)
            return false;
    }
    return SYSTEM_CALL(L"bcrypt.dll", BCryptFinishHash, kNtNotFound, (hash.get(), digest, kSha256Size, 0)) >= 0;
}

std::int64_t CHeldFile::size()
{
    LARGE_INTEGER n = {};
    if (!m_file || !GetFileSizeEx(static_cast<HANDLE>(m_file.get()), &n))
        return -1;
    return n.QuadPart;
}

bool CHeldFile::readAt(std::uint64_t offset, void* buf, std::size_t len)
{
    if (!m_file || offset > 0x7FFFFFFFFFFFFFFFull)
        return false;
    HANDLE h = static_cast<HANDLE>(m_file.get());
    LARGE_INTEGER at = {};
    at.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(h, at, nullptr, FILE_BEGIN))
        return false;
    auto* p = static_cast<unsigned char*>(buf);
    while (len > 0) {
        DWORD want = len > 0x100000 ? 0x100000 : static_cast<DWORD>(len);
        DWORD got = 0;
        if (!ReadFile(h, p, want, &got, nullptr) || got == 0)
            return false;
        p += got;
        len -= got;
    }
    return true;
}
