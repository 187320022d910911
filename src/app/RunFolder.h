#pragma once
// CRunFolder: the folder of one update run, inside the temporary directory.
// The patch information file is extracted there, the patch downloaded there
// and started from there. It is made fresh under a random name (never one
// that exists) with an explicit, protected access list: only Administrators
// and SYSTEM may write in it, whatever the temporary directory allows. The
// folder itself is held open without delete sharing, so it cannot be
// renamed or removed while the run goes on.

#include "common/FixedBuf.h"
#include "common/Handles.h"

class CRunFolder {
public:
    CRunFolder() = default;
    CRunFolder(const CRunFolder&) = delete;
    CRunFolder& operator=(const CRunFolder&) = delete;

    // Makes the folder inside tempDir (ending in a backslash, as the
    // platform gives it). 0, or the platform's error code (nothing made).
    unsigned long create(const char* tempDir);

    // The folder's path, ending in a backslash; empty until created.
    const char* path() const { return m_szPath; }

    // Removes every file in the folder and the folder itself; what cannot
    // be removed now (a patch that still runs from it) is marked for removal
    // at the next restart, the folder after its files. Returns the number of
    // entries so marked.
    int remove();

private:
    char m_szPath[kMaxText] = {};
    CHandleOwner m_hFolder;
};

// The folder's access list as the platform's security descriptor text.
extern const char kRunFolderSddl[];
