#pragma once
// CInstanceMutex: the single-instance guard. It creates (or opens) a named
// mutex and records the last error right after, so that the caller can see
// whether another instance made the name first. It never waits on or owns
// the mutex: only its existence counts.

#include "common/Handles.h"

#include <windows.h>

class CInstanceMutex {
public:
    explicit CInstanceMutex(const char* name);
    // Closes the handle if there is one.
    virtual ~CInstanceMutex();
    CInstanceMutex(const CInstanceMutex&) = delete;
    CInstanceMutex& operator=(const CInstanceMutex&) = delete;

    // True when the name existed already: another instance runs.
    bool alreadyExists() const { return m_dwLastError == ERROR_ALREADY_EXISTS; }
    // True when the guard does not stand: the name existed, or the mutex
    // could not be made at all (a name squatted with an access list that
    // denies us, say). Both count as another instance: the guard never fails
    // open.
    bool anotherInstance() const { return alreadyExists() || !m_hMutex; }

    DWORD m_dwLastError;
    CHandleOwner m_hMutex; // null when creation failed
};
