#pragma once
// CPatchPackage: one update package file, that is the program's own
// executable with one file attached behind it, followed by a trailer:
//
//   offset       size  field
//   0            S     the executable's bytes
//   S            4     name length N (32-bit little-endian)
//   S+4          N     the attached file's name, no directory, no terminator
//   S+4+N        L     the attached file's bytes
//   S+4+N+L      4     start offset: the value S
//   S+8+N+L      20    marker field: "!vdrsign!!vdrsign!", a zero byte, one byte of no meaning
//   S+28+N+L     T     bytes added later: a code-signing certificate table, after at most
//                      7 zero bytes of alignment (nothing else counts in a signed file)
//
// The content length is not stored: it is what lies between the name and
// the start-offset field. A package holds at most 2,147,483,647 bytes.
//
// No file stays open between operations, except the running program's own
// file once holdOwnFile has held it: then checkSignature and detachFile read
// the held file, never a file by its name. The object is used by one thread.

#include "common/FileHash.h"
#include "common/FixedBuf.h"
#include "package/PackagePlatform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Results of attachFile.
enum AttachResult {
    kAttachDone = 1,        // attached; also when appendPath is null (nothing done)
    kAttachMarked = 2,      // the target already carries a marker; target unchanged
    kAttachTargetOpen = 3,  // the target cannot be opened for appending; target unchanged
    kAttachSourceOpen = 4,  // the file to attach cannot be opened for reading; target unchanged
    kAttachWriteFailed = 5, // a read or write failed, or the package would pass 2 GiB;
                            // the target is cut back to its size before (removed if it was new)
    kAttachNameRefused = 6, // the attached name would be refused by detachFile (see
                            // isStorableName); target unchanged
};

// Results of detachFile.
enum DetachResult {
    kDetachDone = 1,        // extracted; also when destDir is given, not empty and does not
                            // exist (then nothing is opened or written, outPath untouched)
    kDetachPackageOpen = 2, // the package cannot be opened for reading
    kDetachNoTrailer = 3,   // no marker where trailingBytes puts it
    kDetachBadStart = 4,    // the start offset does not lead to a name-length field and a name
                            // that lie before the trailer
    kDetachCreate = 5,      // the destination file cannot be created; outPath already holds it
    kDetachNameRefused = 6, // the stored name is empty, 260 bytes or longer, ".", "..", or holds
                            // "\\", "/", ":" or a zero byte; nothing written, outPath untouched
    kDetachPathTooLong = 7, // the destination path does not fit in 260 bytes or in outSize;
                            // nothing written, outPath untouched
    kDetachCopyFailed = 8,  // a read or write failed while copying; the destination file removed
};

// Results of holdOwnFile.
enum OwnFileResult {
    kOwnFileHeld = 0,       // held: the file the process was loaded from
    kOwnFileUnreadable = 1, // it cannot be opened and mapped (error in holdError)
    kOwnFileSwapped = 2,    // the file under the program's name is not the one the loader mapped
    kOwnFileUntrusted = 3,  // its headers name a certificate table but its signature does not
                            // verify (the platform's code in holdError)
};

class CPatchPackage {
public:
    // Over the file at path, or over the running program's own file when
    // path is null. A path that does not fit in packagePath (or an own path
    // that cannot be read) leaves packagePath empty: every operation then
    // fails to open it.
    explicit CPatchPackage(const char* path = nullptr);

    // Replaces the package path. False, with packagePath empty, when path
    // is null or longer than 259 bytes.
    bool setPackagePath(const char* path);

    // Opens and maps the running program's own file once, for the object's
    // life (see CPackageView::holdOwnFile), and compares its headers with
    // the headers the loader mapped (sameLoadedHeaders): a file put under
    // the program's name after it started is refused, and nothing of it is
    // read after the headers. A signed program's signature must verify on
    // the held file. Returns an OwnFileResult; with any result but
    // kOwnFileHeld nothing is held and checkSignature finds nothing.
    int holdOwnFile();
    unsigned long holdError() const { return m_nHoldError; }
    // The held own file (empty until holdOwnFile succeeded).
    const CPackageView& heldView() const { return m_held; }

    // Searches the file backwards for the marker field nearest its end.
    // In a file with a certificate table (a signed program) only a field
    // that ends where the table begins counts (fewer than kCertAlignment zero
    // bytes between them allowed): whatever lies inside or after the table is
    // outside the signature and never a trailer. Returns 1 and sets
    // trailingBytes to the number of bytes after the marker field when
    // found; 0 otherwise (trailingBytes is then the file's size less 19, or
    // 0 for a file under 20 bytes).
    int checkSignature();

    // Appends the file at appendPath (may be null) and a trailer to the
    // package file, which is created if missing. Runs checkSignature on the
    // target itself. The name stored is storedName, or when that is null
    // attachmentName(appendPath). Returns an AttachResult.
    int attachFile(const char* appendPath, const char* storedName = nullptr);

    // Extracts the attached file into destDir (null or empty: the working
    // directory). checkSignature must have succeeded on this object before:
    // the trailer is found through trailingBytes. The destination path is
    // copied into outPath (may be null) zero-filled to outSize. With hold,
    // the file is made fresh (kDetachCreate when anything is at its name)
    // and written through hold, which then keeps it: others may only read it.
    // Returns a DetachResult.
    int detachFile(const char* destDir, char* outPath, std::size_t outSize, CHeldFile* hold = nullptr);

    // Extracts the attached file to the file destPath itself (any length,
    // created or replaced), whatever its stored name: the stored name is
    // checked as detachFile checks it and copied into storedName, zero-filled
    // to nameSize. As detachFile otherwise, but without its trace line and
    // its destination directory check; kDetachPathTooLong when destPath is
    // null or empty or the name does not fit in nameSize (nothing written).
    int detachFileTo(const char* destPath, char* storedName, std::size_t nameSize);

    // The attached file's bytes, read as detachFile reads them, into
    // content (at most limit bytes: a larger file gives kDetachCopyFailed).
    // Nothing is written. Returns a DetachResult.
    int readAttached(std::string& content, std::size_t limit);

    char packagePath[kMaxText];
    char marker[20];
    std::int32_t trailingBytes;

private:
    // The extraction both detach calls make: reads the trailer and the stored
    // name, asks destFor for the path to write the name's file to (null:
    // kDetachPathTooLong), and copies the content there.
    // With toMemory, the content goes there instead (destFor is still asked).
    int extract(const std::function<const char*(const char* name)>& destFor, CHeldFile* hold,
                std::string* toMemory = nullptr, std::size_t limit = 0);

    CPackageView m_held;
    unsigned long m_nHoldError = 0;
    bool m_bRefused = false; // holdOwnFile failed: nothing is read
};

// The name attachFile stores for appendPath: the part after its last
// backslash, or all of it. Only the backslash separates.
const char* attachmentName(const char* appendPath);

// False for a name detachFile refuses: empty, 260 bytes or longer, "." or
// "..", or holding "\\", "/", ":" or a zero byte (len counts every byte).
bool isStorableName(const char* name, std::size_t len);

// Composes destDir (null: empty), a backslash when destDir is not empty and
// does not end in one (so "d" gives "d\name", inside d), and name into out (cap bytes).
// False, with out untouched, when the result does not fit.
bool composeDestPath(const char* destDir, const char* name, char* out, std::size_t cap);
