// Runs the download worker alone, without a window: downloads argv[1] to
// argv[2] and prints the worker's verdict and whether the file remains.
// argv[3]: the build's pinned size (0: none); argv[4] "pinned": it has a
// SHA-256 pin.
#include "update/DownloadVerdict.h"
#include "update/DownloadWorker.h"

#include <windows.h>

#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::puts("usage: dlprobe URL LOCALPATH [SIZEPIN [pinned]]");
        return 2;
    }
    static DownloadJob job = {};
    std::strncpy(job.szURL, argv[1], sizeof job.szURL - 1);
    std::strncpy(job.szLocalPath, argv[2], sizeof job.szLocalPath - 1);
    job.nVerdict = -1;
    job.nSizePin = argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 0;
    job.bPinned = argc > 4 && std::strcmp(argv[4], "pinned") == 0;
    // Made and held as the run makes its download.
    static CHeldFile held;
    if (!held.create(job.szLocalPath))
        return 2;
    job.pHeld = &held;
    unsigned id = 0;
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &ThreadFunc, &job, 0, &id));
    if (!thread)
        return 2;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    held.close();
    std::printf("verdict=%s exists=%d\n", verdictName(static_cast<DownloadVerdict>(job.nVerdict)),
                GetFileAttributesA(job.szLocalPath) != INVALID_FILE_ATTRIBUTES ? 1 : 0);
    return 0;
}
