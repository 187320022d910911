#pragma once
// CRunFolder: the folder of one update run. The patch information file is
// extracted there, the patch downloaded there and started from there, with
// the folder's "tmp" as its temporary directory.
//
// It is made under the system's own temporary folder (%SystemRoot%\SystemTemp
// where that exists, else %SystemRoot%\Temp, the Windows folder asked of the
// system, never of the environment): a folder only administrators can
// change, so no user's link (TEMP pointed at a junction) leads the run
// elsewhere. It is made fresh under a random name (never one that exists)
// with an explicit, protected access list: only Administrators and SYSTEM
// may write in it. It is held open without delete sharing, so it cannot be
// renamed or removed while the run goes on, and every name the run uses is
// its final path as the held handle gives it, each component of which is
// confirmed to be a plain folder (no junction, no symbolic link).

#include "common/FixedBuf.h"
#include "common/Handles.h"

#include <string>

class CRunFolder {
public:
    CRunFolder() = default;
    CRunFolder(const CRunFolder&) = delete;
    CRunFolder& operator=(const CRunFolder&) = delete;

    // Makes the folder and its "tmp" inside `parent` (a folder path, null:
    // the system's temporary folder as above). 0, or the platform's error
    // code (nothing made, path() empty).
    unsigned long create(const wchar_t* parent = nullptr);

    // The folder's final path, ending in a backslash; empty until created.
    // The narrow form is empty too when the path has no exact form in the
    // ANSI code page (then create fails).
    const char* path() const { return m_szPath; }
    const std::wstring& widePath() const { return m_wsPath; }
    // The patch's temporary directory, "tmp" inside it (no final backslash).
    std::wstring tempPath() const;

    // Removes everything in the folder and the folder itself, through
    // handles opened relative to the held folder: a link inside is removed
    // as a link, never followed. What cannot be removed now (a patch that
    // still runs from it) is marked for removal at the next restart by its
    // name inside the folder's final path, each folder after its contents.
    // Returns the number of entries so marked. settleMs: how long the
    // folder may stay held by a process that has just ended (a patch waited
    // for) before it is marked instead.
    int remove(unsigned settleMs = 0);

private:
    // Holds the folder just made at `made` and confirms its final path.
    unsigned long hold(const std::wstring& made, SECURITY_ATTRIBUTES& sa);

    char m_szPath[kMaxText] = {};
    std::wstring m_wsPath;
    CHandleOwner m_hFolder;
};

// The folder's access list as the platform's security descriptor text.
extern const char kRunFolderSddl[];
