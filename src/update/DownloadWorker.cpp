#include "update/DownloadWorker.h"

#include "common/SystemDll.h"
#include "common/Trace.h"
#include "update/BSCallbackImpl.h"
#include "update/DownloadVerdict.h"

#include <objbase.h>
#include <urlmon.h>

namespace {
// Judges the finished transfer (the run's driver has a file that must not
// be started removed). With a held file in the job, the file is held first and judged by its
// held size: nothing written over it afterwards is started.
DownloadVerdict finishDownload(const CBSCallbackImpl& callback, HRESULT hrCall, const DownloadJob& job,
                               DownloadFacts& facts)
{
    const char* localPath = job.szLocalPath;
    CHeldFile* held = job.pHeld;
    facts = DownloadFacts();
    facts.framed = callback.framed();
    facts.pinned = job.bPinned;
    facts.sizePin = job.nSizePin;
    facts.limit = callback.sizeLimit();
    facts.sizeStop = static_cast<DownloadFacts::SizeStop>(callback.sizeStop());
    facts.hrDownload = hrCall;
    if (SUCCEEDED(hrCall) && callback.stopped() && FAILED(callback.stopResult()))
        facts.hrDownload = callback.stopResult();
    facts.aborted = callback.aborted();
    facts.connecting = callback.connecting();
    facts.statusKnown = callback.statusKnown();
    facts.httpStatus = callback.httpStatus();
    facts.lengthKnown = callback.lengthKnown();
    facts.announced = callback.announcedLength();
    facts.encoded = callback.encoded();
    WIN32_FILE_ATTRIBUTE_DATA data;
    bool isFile = GetFileAttributesExA(localPath, GetFileExInfoStandard, &data) &&
                  !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
    if (held) {
        // A file someone else holds open for writing cannot be held: it
        // counts as no file.
        std::int64_t size = (isFile && (held->isOpen() || held->open(localPath))) ? held->size() : -1;
        facts.fileExists = size >= 0;
        facts.fileSize = size >= 0 ? static_cast<std::uint64_t>(size) : 0;
    } else if (isFile) {
        facts.fileExists = true;
        facts.fileSize = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    }
    DownloadVerdict verdict = judgeDownload(facts);
    traceLog("[Veldrun] Download result: %s (hr 0x%08lX, status %u, %llu of %llu bytes%s)\n", verdictName(verdict),
             static_cast<unsigned long>(facts.hrDownload), static_cast<unsigned>(facts.httpStatus),
             static_cast<unsigned long long>(facts.fileSize), static_cast<unsigned long long>(facts.announced),
             facts.encoded ? ", encoded" : "");
    if (verdict != DownloadVerdict::Good && held)
        held->close();
    return verdict;
}
} // namespace

unsigned __stdcall ThreadFunc(void* param)
{
    traceLog("WindowProc::ThreadFunc\n");
    if (!param)
        return 1;
    auto* job = static_cast<DownloadJob*>(param);
    // The URL moniker service is a COM service; this thread joins it.
    HRESULT hrCom = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    DownloadVerdict verdict;
    {
        CBSCallbackImpl callback(job->hWnd, job->hCancelEvent);
        callback.setSizeBound(job->nSizePin);
        callback.holdAtStop(job->pHeld, job->szLocalPath);
        HRESULT hr = SYSTEM_CALL(L"urlmon.dll", URLDownloadToFileA, E_FAIL,
                                 (nullptr, job->szURL, job->szLocalPath, 0, &callback));
        verdict = finishDownload(callback, hr, *job, job->facts);
    }
    if (SUCCEEDED(hrCom))
        CoUninitialize();
    job->nVerdict = static_cast<int>(verdict);
    PostMessageA(job->hWnd, WM_USER_ENDDOWNLOAD, 0, 0);
    return 0;
}
