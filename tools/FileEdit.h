#pragma once
// An edit of one file in place, safe against links, other editors and a
// second vdrpack at the same time. Every change vdrpack makes to a file it
// was given (pin) goes through it:
//  - a symbolic link is followed: its target is the file edited, and the
//    link stays a link;
//  - the target is held under an exclusive lock from the read to the
//    replacement (flock on Linux, LockFileEx on Windows): a second edit
//    waits for the first, then reads what the first wrote;
//  - the new bytes go to a new file of a unique name in the target's
//    folder, with the target's mode (and owner, where the process may set
//    it; on Windows the replacement keeps the target's security and
//    attributes), and take the target's place in one rename, only when the
//    target is still the file that was read (same file, size and time);
//    otherwise nothing changes.
// The platform parts live in FileEdit_host.cpp and FileEdit_win.cpp.

#include "common/UniqueOwner.h"

#include <functional>
#include <string>

enum FileEditResult {
    kEditOk = 0,
    kEditUnreadable = 1,  // the file cannot be opened or read
    kEditBusy = 2,        // another edit held the file longer than the wait allows
    kEditWriteFailed = 3, // the new file cannot be written or put in place; the target unchanged
    kEditChanged = 4,     // the target changed after it was read; the target as the other writer left it
    kEditRefused = 5,     // verify refused the new file; the target unchanged
};

// How the platform's open file of an edit is closed, which releases its
// lock (FileEdit_host.cpp, FileEdit_win.cpp).
struct CFileEditTraits : CNullEmptyTraits<void*> {
    static void close(void* handle);
};

// Not copyable; the destructor ends the edit.
class CFileEdit {
public:
    // Resolves path, locks the target (waiting at most waitMs for another
    // edit to end) and reads it. Returns a FileEditResult.
    int open(const std::string& path, unsigned waitMs = 20000);
    // The target's bytes as read.
    const std::string& bytes() const { return m_bytes; }
    // The file edited: path with its links resolved.
    const std::string& target() const { return m_target; }

    // Puts content in the target's place as described above. verify, when
    // given, is called with the new file's path before it takes the
    // target's place; false from it leaves everything as it was. No file
    // is left beside the target in any case. Returns a FileEditResult.
    int replace(const std::string& content, const std::function<bool(const std::string&)>& verify = nullptr);

    // Ends the edit (the lock is released); also done by the destructor.
    void close() { m_handle.reset(); }

private:
    std::string m_target;
    std::string m_bytes;
    CUniqueOwner<CFileEditTraits> m_handle; // the platform's open file, locked
    long long m_size = -1;
    long long m_time = 0; // modification time, in the platform's finest unit
};

enum PlaceResult {
    kPlaceOk = 0,
    kPlaceExists = 1, // a file, link or directory of that name is there; nothing moved
    kPlaceFailed = 2, // cannot be moved (another volume, no right, ...)
};

// Gives the new file at from the name to, in the same folder or volume, in
// one step. Without replace it never takes the place of anything already
// called to, a link or a dangling link included; with replace it takes the
// place of a file or a link (the link itself, never its target).
int placeNewFile(const std::string& from, const std::string& to, bool replace);
