#pragma once
// The SHA-256 digest of a whole file, through a held file (FileHash.cpp).
// Windows builds hash with the platform's CNG (BCrypt) provider
// (FileHash_win.cpp); host builds with CSha256 (FileHash_host.cpp). Both
// read the file in bounded chunks.

#include "common/Sha256.h"
#include "common/UniqueOwner.h"

#include <cstddef>
#include <cstdint>

// A file held open for reading. On Windows others may only read it while it
// is held: nobody can write, replace, rename or delete it, so what was
// checked is what gets started. Not copyable.
// How the platform's handle of a held file is closed (FileHash_win.cpp,
// FileHash_host.cpp).
struct CHeldFileTraits : CNullEmptyTraits<void*> {
    static void close(void* handle);
};

class CHeldFile {
public:
    // Opens path (closing what was held); false when it cannot be opened
    // that way (missing, or open for writing elsewhere).
    bool open(const char* path);
    // Creates the file at path, which must not exist in any form (file,
    // link), for writing and reading, closing what was held; held as open
    // does. False when it cannot be made.
    bool create(const char* path);
    // Appends len bytes to a file made by create; false when that failed.
    // The bytes are hashed as they are written.
    bool write(const void* data, std::size_t len);
    // Empties a file made by create, to be written anew (the hash starts
    // over with it); false when that failed.
    bool restart();
    // Gives up the write access of a file made by create and goes on
    // holding it for reading only, as open does: a program cannot be started
    // from a file someone holds open for writing, this handle included.
    // False, with nothing held, when someone opened the file for writing in
    // the moment between the two handles or it changed in that moment.
    bool keepForReading();
    // The SHA-256 of the whole file: for a file made by create, of the bytes
    // written through this handle (nobody else could write it), without
    // reading it again; otherwise read from its start. False on a read error
    // or when nothing is held (digest is then unspecified).
    bool sha256(unsigned char digest[kSha256Size]);
    // The held file's size in bytes; -1 when nothing is held or it cannot
    // be read.
    std::int64_t size();
    // Reads exactly len bytes at offset; false on any shortfall.
    bool readAt(std::uint64_t offset, void* buf, std::size_t len);
    // The platform's handle (a HANDLE on Windows, a FILE* on the host), for
    // the platform calls that check the held file itself; null when closed.
    void* nativeHandle() const { return m_file.get(); }
    void close()
    {
        m_file.reset();
        m_bWrittenHere = false;
    }
    bool isOpen() const { return static_cast<bool>(m_file); }

private:
    // Hashes the held file from its start (the seam's own reading).
    bool readSha256(unsigned char digest[kSha256Size]);

    CUniqueOwner<CHeldFileTraits> m_file;
    // The file was made by create and holds exactly what went through
    // write, hashed into m_written.
    bool m_bWrittenHere = false;
    CSha256 m_written;
};

// True, with digest set, when the file could be opened and read to its
// end; false otherwise (digest is then unspecified).
bool sha256OfFile(const char* path, unsigned char digest[kSha256Size]);
