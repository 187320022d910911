#pragma once
// The download worker: fetches the job's URL into the job's local file on
// a thread of its own, judges the transfer, records the verdict in the job
// and posts WM_USER_ENDDOWNLOAD to the job's window as its last act.

#include "update/DownloadJob.h"

// Thread function for _beginthreadex; the argument is a DownloadJob*.
// Returns 1 for a null argument, 0 otherwise.
unsigned __stdcall ThreadFunc(void* param);
