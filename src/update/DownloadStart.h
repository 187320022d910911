#pragma once
// Starting one download worker for the update window: the job block filled
// in, a new file name reserved in the run's own folder, the worker thread
// started. Windows only.

#include "common/Handles.h"
#include "update/DownloadJob.h"
#include "update/RunPlatform.h"

// Starts a worker that fetches target.url for `window` (it reports there)
// into a new ".exe" file of the run's folder; a worker still in `thread` is
// waited for first. The job's cancel event is reset, `held` closed and
// handed to the worker. True when a worker was started (held by `thread`);
// false when the URL was rejected or no file name could be made there.
bool startDownloadWorker(const DownloadTarget& target, HWND window, HANDLE cancelEvent, DownloadJob& job,
                         CHeldFile& held, CHandleOwner& thread);

// Stops the worker in `thread`, if any: signals the cancel event; with now,
// also waits a short time for it, then terminates it, and drops the end
// message it may have posted to `window` (it belongs to no download).
void stopDownloadWorker(CHandleOwner& thread, HANDLE cancelEvent, HWND window, bool now);
