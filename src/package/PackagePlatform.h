#pragma once
// What the patch package needs of the platform, apart from C streams:
// the running program's own file, whether a path exists, cutting a file
// back to a size (to undo a failed append), and whether a held file's
// Authenticode signature verifies.

#include "common/UniqueOwner.h"

#include <cstddef>
#include <cstdint>

// Writes the full path of the running program's own file into buf (cap
// bytes, terminated). False, with buf empty, when the path cannot be
// read or does not fit.
bool packageOwnModulePath(char* buf, std::size_t cap);

// True for an existing file or directory.
bool packagePathExists(const char* path);

// Cuts the file at path back to size bytes. False when that failed.
bool packageTruncateFile(const char* path, std::int64_t size);

// A read-only view of a whole file mapped into memory: the marker search
// reads the cached pages in place instead of copying them. Unmapped when
// the object goes. Not copyable.
class CPackageView {
public:
    CPackageView() = default;
    ~CPackageView() { close(); }

    // Maps the file at path. False, with nothing mapped, when it cannot be
    // opened or mapped: an empty file, one over 2,147,483,647 bytes, one
    // another program holds open for writing (Windows), no address space.
    bool map(const char* path);

    // Maps the running program's own file (opened by its full path as the
    // platform gives it, of any length) and keeps it open for the object's
    // life: others may read it, nobody may write, rename or delete it.
    // 0, or the platform's error code with nothing mapped.
    unsigned long holdOwnFile();
    bool isHeld() const { return static_cast<bool>(m_hFile); }
    // The held file's handle (Windows: a HANDLE opened for reading), for the
    // platform calls that check the held file itself; null when not held.
    void* heldHandle() const { return m_hFile.get(); }
    // verifyHeldSignature over the held own file: 0 when its signature
    // verifies; kNoSignatureCheck when nothing is held or the platform has
    // no such check (host).
    long verifySignature() const;
    // Unmaps and lets go of the file.
    void close();

    const unsigned char* data() const { return m_pData; }
    std::int64_t size() const { return m_nSize; }

private:
    unsigned long mapOpen(void* file);

    const unsigned char* m_pData = nullptr;
    std::int64_t m_nSize = 0;
    // How the held file is closed (PackagePlatform_win.cpp, _host.cpp).
    struct CHeldTraits : CNullEmptyTraits<void*> {
        static void close(void* handle);
    };
    CUniqueOwner<CHeldTraits> m_hFile; // the held file (Windows handle, or host descriptor + 1)
};

// What verifyHeldSignature gives where it cannot ask the platform
// (TRUST_E_PROVIDER_UNKNOWN): a signature not verified.
constexpr long kNoSignatureCheck = static_cast<long>(0x800B0001UL);

// WinVerifyTrust's answer for the file open under handle (a Windows HANDLE;
// path, may be null, only names it): 0 when its Authenticode signature
// verifies, else the platform's code (TRUST_E_NOSIGNATURE for an unsigned
// file, TRUST_E_BAD_DIGEST for one changed after signing...). Asks with no
// UI, no revocation check and no retrieval beyond the cache: the run may
// be offline. kNoSignatureCheck on the host.
long verifyHeldSignature(void* handle, const wchar_t* path);

// The running program's headers as the loader mapped them, and how many
// bytes of them may be read (size); null where that is not known (host).
const unsigned char* packageLoadedHeaders(std::int64_t* size);
