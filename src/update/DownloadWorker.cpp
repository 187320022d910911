#include "update/DownloadWorker.h"

#include "common/SystemDll.h"
#include "common/Trace.h"
#include "update/BSCallbackImpl.h"
#include "update/DownloadVerdict.h"
#include "update/UserAgent.h"

#include <objbase.h>
#include <urlmon.h>

namespace {
// How long an aborted binding may take to report its stop before the
// worker leaves it (nothing of it runs once this thread stops dispatching).
enum : DWORD { kAbortStopWaitMs = 5000 };

// Judges the finished transfer (the run's driver has a file that must not
// be started removed, or appended to by its next attempt). The file was
// held from its creation; a good one goes on being held for reading only,
// judged by its held size: nothing written over it afterwards is started.
DownloadVerdict finishDownload(const CBSCallbackImpl& callback, HRESULT hrCall, const DownloadJob& job,
                               DownloadFacts& facts)
{
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
    if (SUCCEEDED(facts.hrDownload) && (!callback.stopped() || callback.writeFailed()))
        facts.hrDownload = E_FAIL;
    facts.aborted = callback.aborted();
    facts.connecting = callback.connecting();
    facts.statusKnown = callback.statusKnown();
    facts.httpStatus = callback.httpStatus();
    facts.lengthKnown = callback.lengthKnown();
    facts.announced = callback.announcedLength();
    facts.encoded = callback.encoded();
    facts.redirect = callback.redirectRefused();
    facts.finalUrl = callback.finalUrl();
    facts.resumedFrom = callback.resumedFrom();
    facts.rangeFailed = callback.rangeFailed();
    facts.startedOver = callback.startedOver();
    facts.bodyBytes = callback.bodyBytes();
    facts.etag = callback.etag();
    facts.lastModified = callback.lastModified();
    facts.date = callback.date();
    facts.retryAfter = callback.retryAfter();
    std::int64_t size = (held && held->isOpen()) ? held->size() : -1;
    facts.fileExists = size >= 0;
    facts.fileSize = size >= 0 ? static_cast<std::uint64_t>(size) : 0;
    DownloadVerdict verdict = judgeDownload(facts);
    // A file someone else opened for writing cannot be held for reading: it
    // counts as no file.
    if (verdict == DownloadVerdict::Good && (!held->keepForReading() || held->size() != size)) {
        held->close();
        facts.fileExists = false;
        facts.fileSize = 0;
        verdict = judgeDownload(facts);
    }
    traceLog("[Veldrun] Download result: %s (hr 0x%08lX, status %u, %llu of %llu bytes%s)\n", verdictName(verdict),
             static_cast<unsigned long>(facts.hrDownload), static_cast<unsigned>(facts.httpStatus),
             static_cast<unsigned long long>(facts.fileSize), static_cast<unsigned long long>(facts.announced),
             facts.encoded ? ", encoded" : "");
    return verdict;
}

// Starts the asynchronous binding of url to a stream; the callback gets
// every report on this thread while it dispatches messages.
HRESULT startBinding(const char* url, CBSCallbackImpl& callback, CComOwner<IMoniker>& moniker,
                     CComOwner<IBindCtx>& context, CComOwner<IStream>& stream)
{
    wchar_t wide[kMaxText] = {};
    if (!MultiByteToWideChar(CP_ACP, 0, url, -1, wide, kMaxText - 1))
        return E_INVALIDARG;
    HRESULT hr =
        SYSTEM_CALL(L"urlmon.dll", CreateURLMonikerEx, E_FAIL, (nullptr, wide, moniker.receive(), URL_MK_UNIFORM));
    if (SUCCEEDED(hr))
        hr = SYSTEM_CALL(L"urlmon.dll", CreateAsyncBindCtx, E_FAIL, (0, &callback, nullptr, context.receive()));
    if (SUCCEEDED(hr))
        hr = moniker->BindToStorage(context.get(), nullptr, IID_IStream, reinterpret_cast<void**>(stream.receive()));
    return hr;
}

// Dispatches this thread's messages (the service's reports) until the
// binding stopped. The cancel event wakes it at once, at any point of the
// transfer, a stalled one included: the binding is aborted and its stop
// waited for within a bound. Returns the result for the download call.
HRESULT waitForStop(CBSCallbackImpl& callback, HANDLE cancelEvent)
{
    bool aborting = false;
    ULONGLONG abortedAt = 0;
    while (!callback.stopped()) {
        DWORD timeout = INFINITE;
        if (aborting) {
            ULONGLONG spent = GetTickCount64() - abortedAt;
            if (spent >= kAbortStopWaitMs)
                return E_ABORT;
            timeout = static_cast<DWORD>(kAbortStopWaitMs - spent);
        }
        // A report the pace held back is sent once its time comes.
        const bool held = !aborting && callback.flushHeldReport();
        if (held && timeout > CBSCallbackImpl::kHeldReportMs)
            timeout = CBSCallbackImpl::kHeldReportMs;
        DWORD count = (cancelEvent && !aborting) ? 1 : 0;
        DWORD woken = MsgWaitForMultipleObjects(count, &cancelEvent, FALSE, timeout, QS_ALLINPUT);
        if (count && woken == WAIT_OBJECT_0) {
            traceLog("[Veldrun] Download cancelled\n");
            callback.cancel();
            aborting = true;
            abortedAt = GetTickCount64();
            continue;
        }
        if (woken == WAIT_TIMEOUT && held)
            continue;
        if (woken == WAIT_TIMEOUT)
            return E_ABORT;
        if (woken != WAIT_OBJECT_0 + count)
            return E_FAIL;
        MSG msg;
        while (!callback.stopped() && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        // A callback that answered E_ABORT (cancel seen there, size bound,
        // write failure) starts the same bounded wait.
        if (!aborting && callback.aborted()) {
            aborting = true;
            abortedAt = GetTickCount64();
        }
    }
    return S_OK;
}
// Puts "Veldrun/<version>" in front of the platform's User-Agent for the
// process's requests (the service reads it when it opens its session).
void setUserAgent()
{
    static bool set = false;
    if (set)
        return;
    char platform[kMaxUserAgent + 1] = {};
    DWORD size = sizeof platform - 1;
    if (FAILED(SYSTEM_CALL(L"urlmon.dll", ObtainUserAgentString, E_FAIL, (0, platform, &size))))
        platform[0] = '\0';
    platform[sizeof platform - 1] = '\0';
    const std::string agent = composeUserAgent(platform);
    set = SUCCEEDED(
        SYSTEM_CALL(L"urlmon.dll", UrlMkSetSessionOption, E_FAIL,
                    (URLMON_OPTION_USERAGENT, const_cast<char*>(agent.c_str()), static_cast<DWORD>(agent.size()), 0)));
    traceLog("[Veldrun] User-Agent: %s%s\n", agent.c_str(), set ? "" : " (not set)");
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
        if (SUCCEEDED(hrCom))
            setUserAgent();
        CBSCallbackImpl callback(job->hWnd, job->hCancelEvent, job->szURL);
        callback.setSizeBound(job->nSizePin);
        callback.writeTo(job->pHeld);
        callback.resumeFrom(job->nResumeFrom, job->basis);
        CComOwner<IMoniker> moniker;
        CComOwner<IBindCtx> context;
        CComOwner<IStream> stream;
        HRESULT hr = FAILED(hrCom) ? hrCom : startBinding(job->szURL, callback, moniker, context, stream);
        if (SUCCEEDED(hr))
            hr = waitForStop(callback, job->hCancelEvent);
        verdict = finishDownload(callback, hr, *job, job->facts);
    }
    if (SUCCEEDED(hrCom))
        CoUninitialize();
    job->nVerdict = static_cast<int>(verdict);
    PostMessageA(job->hWnd, WM_USER_ENDDOWNLOAD, 0, 0);
    return 0;
}
