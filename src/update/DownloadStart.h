#pragma once
// Starting one download worker for the update window: the job block filled
// in, a new file name reserved in the run's own folder, the worker thread
// started. Windows only.

#include "common/Handles.h"
#include "products/Profile.h"
#include "update/DownloadJob.h"
#include "update/RunPlatform.h"

// Starts a worker that fetches target.url for `window` (it reports there)
// into a new ".exe" file of the run's folder, made here and held in `held`
// from its creation (CHeldFile::create); a worker still in `thread` is
// waited for first. The job's cancel event is reset and `held` handed to
// the worker. True when a worker was started (held by `thread`); false when
// the URL was rejected or no file could be made there.
bool startDownloadWorker(const DownloadTarget& target, HWND window, HANDLE cancelEvent, DownloadJob& job,
                         CHeldFile& held, CHandleOwner& thread);

// Stops the worker in `thread`, if any: signals the cancel event; with now,
// also waits a short time for it, then terminates it, and drops the end
// message it may have posted to `window` (it belongs to no download).
void stopDownloadWorker(CHandleOwner& thread, HANDLE cancelEvent, HWND window, bool now);

// Waits up to `ms` for a worker thread to end, answering the progress
// reports it sends meanwhile (a plain wait would leave a worker stuck in
// its send). True when it ended.
bool waitForDownloadWorker(HANDLE thread, unsigned long ms);
