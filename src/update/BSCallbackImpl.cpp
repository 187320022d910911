#include "update/BSCallbackImpl.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "update/DownloadJob.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"

#include <shlwapi.h>
#include <wininet.h>

#include <cstring>

namespace {
enum : std::uint64_t { kWindowReportMs = 100, kTraceReportMs = 1000 };

// A URL the service reports, as UTF-8 text; false when there is none or it
// is longer than any the redirect policy follows.
bool urlText(LPCWSTR url, char (&text)[CRedirectPolicy::kMaxUrl + 2])
{
    return url && WideCharToMultiByte(CP_UTF8, 0, url, -1, text, sizeof text - 1, nullptr, nullptr) > 0;
}

// The report of a redirect the policy was asked about already (the
// service reports each one it follows) names the URL it is at.
bool sameUrl(LPCWSTR reported, const std::string& at)
{
    char text[CRedirectPolicy::kMaxUrl + 2] = {};
    return urlText(reported, text) && at == text;
}

// One header of the answer as text (empty when not sent or too long).
std::string headerOf(IWinInetHttpInfo* info, DWORD which)
{
    char value[512] = {};
    DWORD size = sizeof value - 1;
    DWORD flags = 0;
    if (info->QueryInfo(which, value, &size, &flags, nullptr) != S_OK || size >= sizeof value)
        return "";
    value[size] = '\0';
    return value;
}
} // namespace

CBSCallbackImpl::CBSCallbackImpl(HWND wnd, HANDLE cancelEvent, const char* url)
    : m_cRef(1), hWnd(wnd), hCancelEvent(cancelEvent), m_windowPace(kWindowReportMs), m_tracePace(kTraceReportMs),
      m_nSizeLimit(kUnpinnedSizeLimit), m_redirects(url ? url : "")
{
}

void CBSCallbackImpl::resumeFrom(std::uint64_t from, const ResumeBasis& basis)
{
    m_nFrom = basis.usable() ? from : 0;
    m_basis = basis;
}

bool CBSCallbackImpl::cancelled()
{
    if (!m_bCancelled && hCancelEvent && WaitForSingleObject(hCancelEvent, 0) == WAIT_OBJECT_0)
        m_bCancelled = true;
    if (m_bCancelled)
        m_bAborted = true;
    return m_bCancelled;
}

void CBSCallbackImpl::cancel()
{
    m_bCancelled = true;
    m_bAborted = true;
    if (m_binding)
        m_binding->Abort();
}

void CBSCallbackImpl::setSizeBound(std::uint64_t sizePin)
{
    m_nSizePin = sizePin;
    m_nSizeLimit = sizePin ? sizePin : kUnpinnedSizeLimit;
}

bool CBSCallbackImpl::pastSizeBound(std::uint64_t progress)
{
    if (progress > m_nSizeLimit)
        m_nSizeStop = DownloadFacts::kSizePassed;
    else if (m_bLengthKnown && !m_bEncoded && m_nHttpStatus >= 200 && m_nHttpStatus <= 299 &&
             (m_nSizePin ? m_nContentLength != m_nSizePin : m_nContentLength > m_nSizeLimit))
        m_nSizeStop = m_nSizePin ? DownloadFacts::kSizeAnnounced : DownloadFacts::kSizePassed;
    if (m_nSizeStop)
        traceLog("[Veldrun] Download stopped: %llu bytes received, %llu announced, bound %llu\n",
                 static_cast<unsigned long long>(progress),
                 static_cast<unsigned long long>(m_bLengthKnown ? m_nContentLength : 0),
                 static_cast<unsigned long long>(m_nSizeLimit));
    return m_nSizeStop != 0;
}

CBSCallbackImpl::~CBSCallbackImpl() = default;

STDMETHODIMP CBSCallbackImpl::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_FAIL;
    *ppv = nullptr;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback))
        *ppv = static_cast<IBindStatusCallback*>(this);
    else if (IsEqualIID(riid, IID_IHttpNegotiate))
        *ppv = static_cast<IHttpNegotiate*>(this);
    else if (IsEqualIID(riid, IID_IServiceProvider))
        *ppv = static_cast<IServiceProvider*>(this);
    else if (IsEqualIID(riid, IID_IBindCallbackRedirect))
        *ppv = static_cast<IBindCallbackRedirect*>(this);
    if (!*ppv)
        return E_NOINTERFACE;
    static_cast<IUnknown*>(*ppv)->AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) CBSCallbackImpl::AddRef()
{
    return static_cast<ULONG>(++m_cRef);
}

// Counting only: the object belongs to the worker's stack.
STDMETHODIMP_(ULONG) CBSCallbackImpl::Release()
{
    return static_cast<ULONG>(--m_cRef);
}

STDMETHODIMP CBSCallbackImpl::OnStartBinding(DWORD, IBinding* pib)
{
    traceLog("CBSCallbackImpl::OnStartBinding\n");
    // Kept to ask the transfer for its HTTP status and announced length.
    if (pib)
        pib->AddRef();
    m_binding.reset(pib);
    return cancelled() ? E_ABORT : S_OK;
}

STDMETHODIMP CBSCallbackImpl::GetPriority(LONG*)
{
    traceLog("CBSCallbackImpl::GetPriority\n");
    return E_NOTIMPL;
}

STDMETHODIMP CBSCallbackImpl::OnLowResource(DWORD)
{
    traceLog("CBSCallbackImpl::OnLowResource\n");
    return S_OK;
}

void CBSCallbackImpl::report(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText)
{
    const std::uint64_t now = GetTickCount64();
    if (m_tracePace.due(statusCode, now)) {
        char text[kMaxText] = {};
        if (statusText && !WideCharToMultiByte(CP_ACP, 0, statusText, -1, text, sizeof text - 1, nullptr, nullptr))
            text[0] = '\0'; // too long for the line: left out
        char line[kMaxText] = {};
        formatBounded(line, sizeof line, "CBSCallbackImpl::OnProgress %.2d(%s) %d / %d\n", static_cast<int>(statusCode),
                      statusText ? text : "(null)", static_cast<int>(progress), static_cast<int>(progressMax));
        traceRaw(line);
    }
    if (!hWnd)
        return;
    if (!m_windowPace.due(statusCode, now)) {
        m_bReportHeld = true;
        m_nHeldProgress = progress;
        m_nHeldProgressMax = progressMax;
        m_nHeldStatus = statusCode;
        return;
    }
    m_bReportHeld = false;
    ProgressInfo info = {progress, progressMax, limitStatusCode(statusCode), statusText};
    SendMessageA(hWnd, WM_USER_PROGRESS, 0, reinterpret_cast<LPARAM>(&info));
}

bool CBSCallbackImpl::flushHeldReport()
{
    if (!m_bReportHeld || !hWnd)
        return false;
    if (!m_windowPace.due(m_nHeldStatus, GetTickCount64()))
        return true;
    m_bReportHeld = false;
    ProgressInfo info = {m_nHeldProgress, m_nHeldProgressMax, limitStatusCode(m_nHeldStatus), nullptr};
    SendMessageA(hWnd, WM_USER_PROGRESS, 0, reinterpret_cast<LPARAM>(&info));
    return false;
}

STDMETHODIMP CBSCallbackImpl::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                         LPCWSTR szStatusText)
{
    if (cancelled())
        return E_ABORT;
    if (ulProgressMax != 0)
        m_nLastProgressMax = ulProgressMax;
    if (ulStatusCode == BINDSTATUS_CONNECTING)
        m_bConnecting = true;
    if (ulStatusCode == BINDSTATUS_REDIRECTING && !sameUrl(szStatusText, m_redirects.url()) &&
        !onRedirect(szStatusText)) {
        m_bAborted = true;
        if (m_binding)
            m_binding->Abort();
        return E_ABORT;
    }
    // Not while the request is being sent: the answer's headers are not all there yet.
    if (ulStatusCode >= BINDSTATUS_BEGINDOWNLOADDATA && ulStatusCode != BINDSTATUS_SENDINGREQUEST)
        learnFromBinding();
    // The body's own progress is reported as it is pulled (OnDataAvailable):
    // the service reports it only now and then for a pulled stream.
    if (ulStatusCode != BINDSTATUS_DOWNLOADINGDATA)
        report(ulProgress, ulProgressMax, ulStatusCode, szStatusText);
    if (cancelled())
        return E_ABORT;
    // A body that outgrows its bound is not written on to the end: the
    // temporary drive is not filled before the pin could refuse it.
    if (m_nSizeStop || pastSizeBound(ulProgress)) {
        m_bAborted = true;
        return E_ABORT;
    }
    return S_OK;
}

STDMETHODIMP CBSCallbackImpl::OnStopBinding(HRESULT hresult, LPCWSTR)
{
    traceLog("CBSCallbackImpl::OnStopBinding\n");
    m_bStopped = true;
    m_hrStop = hresult;
    learnFromBinding();
    m_binding.reset();
    return S_OK;
}

STDMETHODIMP CBSCallbackImpl::GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo)
{
    traceLog("CBSCallbackImpl::GetBindInfo\n");
    if (!grfBINDF || !pbindinfo || pbindinfo->cbSize < sizeof(BINDINFO))
        return E_INVALIDARG;
    // Always from the server, never through a cache file: a patch the
    // publisher replaced must never come out of a local cache, and a file
    // in the user's cache is one the user can write while it is copied.
    // Bound to a stream on this thread's loop, the service writes no file
    // (a synchronous binding stages the body in the cache even so).
    *grfBINDF = BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_NOWRITECACHE | BINDF_GETNEWESTVERSION |
                BINDF_PRAGMA_NO_CACHE;
    const ULONG size = pbindinfo->cbSize;
    std::memset(pbindinfo, 0, size);
    pbindinfo->cbSize = size;
    pbindinfo->dwBindVerb = BINDVERB_GET;
    // Each redirect goes through the service, which reports it before it
    // asks the next server: the policy refuses one before any request
    // reaches where it leads (WinINet's own following asks first).
    pbindinfo->dwOptions = BINDINFO_OPTIONS_DISABLEAUTOREDIRECTS;
    return cancelled() ? E_ABORT : S_OK;
}

STDMETHODIMP CBSCallbackImpl::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* pstgmed)
{
    if (cancelled())
        return E_ABORT;
    if (!pstgmed || pstgmed->tymed != TYMED_ISTREAM || !pstgmed->pstm)
        return S_OK;
    // The status and length first: the size bound judges what is announced,
    // and no body is written before its answer was judged.
    learnFromBinding();
    if (!m_bAnswerJudged && (m_bStatusKnown || m_nFrom > 0))
        judgeAnswer();
    if (!pull(pstgmed->pstm)) {
        m_bAborted = true;
        if (m_binding)
            m_binding->Abort();
        return E_ABORT;
    }
    return cancelled() ? E_ABORT : S_OK;
}

bool CBSCallbackImpl::pull(IStream* stream)
{
    // Pulled data must be read until the stream has no more for now (or
    // ends), or the service sends no further notification.
    unsigned char buf[65536];
    for (;;) {
        if (cancelled())
            return false;
        ULONG got = 0;
        HRESULT hr = stream->Read(buf, sizeof buf, &got);
        if (got > 0 && (m_bAnswerRefused || m_nRedirect))
            return false; // an error page, a part that does not fit, a refused redirect's answer: not written
        if (got > 0) {
            m_nReceived += got;
            m_nWritten += got;
            if (m_nSizeStop || pastSizeBound(m_nReceived))
                return false;
            if (!m_pFile || !m_pFile->write(buf, got)) {
                traceLog("[Veldrun] Download stopped: the file could not be written\n");
                m_bWriteFailed = true;
                return false;
            }
            // While data keeps coming this loop does not return: the
            // reports go from here (counts within the 2 GiB bound fit).
            const std::uint64_t announced = announcedLength();
            report(static_cast<ULONG>(m_nReceived), static_cast<ULONG>(announced <= 0xFFFFFFFFu ? announced : 0),
                   BINDSTATUS_DOWNLOADINGDATA, nullptr);
        }
        if (hr != S_OK || got == 0)
            return true; // S_FALSE at the end, E_PENDING until more comes; a failure shows in OnStopBinding
    }
}

STDMETHODIMP CBSCallbackImpl::BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* pszAdditionalHeaders)
{
    if (!pszAdditionalHeaders)
        return E_POINTER;
    *pszAdditionalHeaders = nullptr;
    if (cancelled())
        return E_ABORT;
    const std::string lines = resumeRequestHeaders(m_nFrom, m_basis);
    if (m_nFrom)
        traceLog("[Veldrun] Download asks for the bytes from %llu on\n", static_cast<unsigned long long>(m_nFrom));
    // The service frees what it is given with CoTaskMemFree.
    const std::size_t count = lines.size() + 1;
    auto* wide = static_cast<LPWSTR>(CoTaskMemAlloc(count * sizeof(WCHAR)));
    if (!wide)
        return E_OUTOFMEMORY;
    for (std::size_t i = 0; i < count; ++i)
        wide[i] = static_cast<WCHAR>(static_cast<unsigned char>(lines.c_str()[i]));
    *pszAdditionalHeaders = wide;
    return S_OK;
}

STDMETHODIMP CBSCallbackImpl::OnResponse(DWORD, LPCWSTR, LPCWSTR, LPWSTR* pszAdditionalRequestHeaders)
{
    if (pszAdditionalRequestHeaders)
        *pszAdditionalRequestHeaders = nullptr;
    learnFromBinding();
    if (!m_bAnswerJudged && m_bStatusKnown)
        judgeAnswer();
    return cancelled() ? E_ABORT : S_OK;
}

STDMETHODIMP CBSCallbackImpl::QueryService(REFGUID guidService, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualGUID(guidService, IID_IBindCallbackRedirect))
        return E_NOINTERFACE;
    return QueryInterface(riid, ppv);
}

STDMETHODIMP CBSCallbackImpl::Redirect(LPCWSTR lpcUrl, VARIANT_BOOL* vbCancel)
{
    if (!vbCancel)
        return E_POINTER;
    const bool follow = !cancelled() && onRedirect(lpcUrl);
    *vbCancel = follow ? VARIANT_FALSE : VARIANT_TRUE;
    if (!follow)
        m_bAborted = true;
    return S_OK;
}

bool CBSCallbackImpl::onRedirect(LPCWSTR location)
{
    char text[CRedirectPolicy::kMaxUrl + 2] = {};
    const bool fits = urlText(location, text);
    const RedirectVerdict verdict = m_redirects.onRedirect(fits ? text : "");
    if (verdict == RedirectVerdict::Follow) {
        traceLog("[Veldrun] Redirected to %s\n", m_redirects.url().c_str());
        return true;
    }
    m_nRedirect = static_cast<int>(verdict);
    traceLog("[Veldrun] Download stopped: %s (%s)\n", redirectVerdictText(verdict), fits ? text : "?");
    return false;
}

void CBSCallbackImpl::judgeAnswer()
{
    m_bAnswerJudged = true;
    CComOwner<IWinInetHttpInfo> info;
    std::string range;
    if (m_binding &&
        SUCCEEDED(m_binding->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(info.receive()))) && info) {
        m_etag = headerOf(info.get(), HTTP_QUERY_ETAG);
        m_lastModified = headerOf(info.get(), HTTP_QUERY_LAST_MODIFIED);
        m_date = headerOf(info.get(), HTTP_QUERY_DATE);
        m_retryAfter = headerOf(info.get(), HTTP_QUERY_RETRY_AFTER);
        range = headerOf(info.get(), HTTP_QUERY_CONTENT_RANGE);
    }
    const int status = m_bStatusKnown ? static_cast<int>(m_nHttpStatus) : 0;
    if (status < 200 || status > 299) {
        // An error page is not the build; with a resume, whatever this is
        // must not be appended to the held bytes.
        m_bAnswerRefused = true;
        m_bRangeFailed = m_nFrom > 0 && status == 0;
        return;
    }
    if (m_nFrom == 0) {
        // A part of the file to a request for all of it is not the file.
        m_bAnswerRefused = m_bRangeFailed = status == 206;
        return;
    }
    switch (judgeRangedAnswer(status, range.c_str(), m_nFrom, m_basis)) {
    case RangedAnswer::Append:
        // The rest of the file: the counts and the bound go on from the held bytes.
        m_nReceived = m_nFrom;
        m_bLengthKnown = true;
        m_nContentLength = m_basis.total;
        break;
    case RangedAnswer::StartOver:
        traceLog("[Veldrun] Download answered with the whole file: started over\n");
        m_bStartedOver = true;
        m_nFrom = 0;
        if (!m_pFile || !m_pFile->restart()) {
            m_bWriteFailed = true;
            m_bAnswerRefused = true;
        }
        break;
    case RangedAnswer::Failed:
        traceLog("[Veldrun] Download refused the answer to a ranged request (HTTP %d, Content-Range \"%s\")\n", status,
                 range.c_str());
        m_bRangeFailed = true;
        m_bAnswerRefused = true;
        break;
    }
}

STDMETHODIMP CBSCallbackImpl::OnObjectAvailable(REFIID, IUnknown*)
{
    traceLog("CBSCallbackImpl::OnObjectAvailable\n");
    return S_OK;
}

void CBSCallbackImpl::learnFromBinding()
{
    // Once the status is known the headers are asked for again only while
    // neither a length nor chunked framing was found: a status read while
    // the headers were still arriving must not make a framed body unframed.
    if (!m_binding || (m_bStatusKnown && (m_bLengthKnown || m_bChunked)))
        return;
    CComOwner<IWinInetHttpInfo> info;
    if (FAILED(m_binding->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(info.receive()))) || !info)
        return;
    DWORD status = 0;
    DWORD size = sizeof status;
    DWORD flags = 0;
    if (!m_bStatusKnown &&
        info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &flags, nullptr) == S_OK &&
        status != 0) {
        m_bStatusKnown = true;
        m_nHttpStatus = status;
    }
    if (m_bStatusKnown) {
        DWORD length = 0;
        size = sizeof length;
        flags = 0;
        if (info->QueryInfo(HTTP_QUERY_CONTENT_LENGTH | HTTP_QUERY_FLAG_NUMBER, &length, &size, &flags, nullptr) ==
            S_OK) {
            m_bLengthKnown = true;
            m_nContentLength = length;
        }
        const std::string coding = headerOf(info.get(), HTTP_QUERY_CONTENT_ENCODING);
        if (!coding.empty() && lstrcmpiA(coding.c_str(), "identity") != 0)
            m_bEncoded = true;
        if (StrStrIA(headerOf(info.get(), HTTP_QUERY_TRANSFER_ENCODING).c_str(), "chunked"))
            m_bChunked = true;
    }
}
