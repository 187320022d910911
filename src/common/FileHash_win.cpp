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
    m_written.reset();
    m_bWrittenHere = true;
    return true;
}

bool CHeldFile::write(const void* data, std::size_t len)
{
    DWORD n = 0;
    bool written = m_file && len <= 0xFFFFFFFFu &&
                   WriteFile(static_cast<HANDLE>(m_file.get()), data, static_cast<DWORD>(len), &n, nullptr) && n == len;
    if (written && m_bWrittenHere)
        m_written.update(data, len);
    // A short write leaves bytes nobody hashed: the digest is read again.
    m_bWrittenHere = m_bWrittenHere && written;
    return written;
}

bool CHeldFile::restart()
{
    LARGE_INTEGER start = {};
    HANDLE h = static_cast<HANDLE>(m_file.get());
    if (!h || !SetFilePointerEx(h, start, nullptr, FILE_BEGIN) || !SetEndOfFile(h))
        return false;
    m_written.reset();
    m_bWrittenHere = true;
    return true;
}

namespace {
bool sameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b, bool time)
{
    return a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow &&
           a.nFileSizeHigh == b.nFileSizeHigh && a.nFileSizeLow == b.nFileSizeLow &&
           (!time || (a.ftLastWriteTime.dwHighDateTime == b.ftLastWriteTime.dwHighDateTime &&
                      a.ftLastWriteTime.dwLowDateTime == b.ftLastWriteTime.dwLowDateTime));
}
} // namespace

bool CHeldFile::keepForReading()
{
    HANDLE writer = static_cast<HANDLE>(m_file.get());
    BY_HANDLE_FILE_INFORMATION written = {};
    if (!writer || !GetFileInformationByHandle(writer, &written)) {
        close();
        return false;
    }
    // No handle can deny writers while one with write access exists, so
    // the file passes through a reader that allows them, opened through the
    // handle itself (no name is looked up). The reader that denies them
    // fails if a writer came in between; a change made and closed in that
    // moment shows in the size or, after the writer's close (which may set
    // it), in the time of the last write. The run's folder keeps everyone
    // else out of that moment on Windows.
    CHandleOwner bridge(ReOpenFile(writer, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, 0));
    bool keepDigest = m_bWrittenHere;
    CSha256 digest = m_written;
    close();
    BY_HANDLE_FILE_INFORMATION closed = {};
    if (!bridge || !GetFileInformationByHandle(bridge.get(), &closed) || !sameFile(written, closed, false))
        return false;
    CHandleOwner reader(ReOpenFile(bridge.get(), GENERIC_READ, FILE_SHARE_READ, 0));
    bridge.reset();
    BY_HANDLE_FILE_INFORMATION now = {};
    if (!reader || !GetFileInformationByHandle(reader.get(), &now) || !sameFile(closed, now, true))
        return false;
    m_file.reset(reader.release());
    m_bWrittenHere = keepDigest;
    m_written = digest;
    return true;
}

void CHeldFileTraits::close(void* handle)
{
    CloseHandle(static_cast<HANDLE>(handle));
}

bool CHeldFile::readSha256(unsigned char digest[kSha256Size])
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
