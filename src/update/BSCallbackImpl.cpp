#include "update/BSCallbackImpl.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "update/DownloadJob.h"
#include "update/PatchPin.h"
#include "update/ProgressText.h"

#include <shlwapi.h>
#include <wininet.h>

CBSCallbackImpl::CBSCallbackImpl(HWND wnd, HANDLE cancelEvent)
    : m_cRef(1), hWnd(wnd), hCancelEvent(cancelEvent), m_nSizeLimit(kUnpinnedSizeLimit)
{
}

void CBSCallbackImpl::setSizeBound(std::uint64_t sizePin)
{
    m_nSizePin = sizePin;
    m_nSizeLimit = sizePin ? sizePin : kUnpinnedSizeLimit;
}

bool CBSCallbackImpl::pastSizeBound(ULONG progress)
{
    if (progress > m_nSizeLimit)
        m_nSizeStop = DownloadFacts::kSizePassed;
    else if (m_bLengthKnown && !m_bEncoded && m_nHttpStatus >= 200 && m_nHttpStatus <= 299 &&
             (m_nSizePin ? m_nContentLength != m_nSizePin : m_nContentLength > m_nSizeLimit))
        m_nSizeStop = m_nSizePin ? DownloadFacts::kSizeAnnounced : DownloadFacts::kSizePassed;
    if (m_nSizeStop)
        traceLog("[Veldrun] Download stopped: %lu bytes received, %llu announced, bound %llu\n",
                 static_cast<unsigned long>(progress),
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
    return S_OK;
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

STDMETHODIMP CBSCallbackImpl::OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode,
                                         LPCWSTR szStatusText)
{
    char text[kMaxText] = {};
    if (szStatusText && !WideCharToMultiByte(CP_ACP, 0, szStatusText, -1, text, sizeof text - 1, nullptr, nullptr))
        text[0] = '\0'; // too long for the line: left out
    char line[kMaxText] = {};
    formatBounded(line, sizeof line, "CBSCallbackImpl::OnProgress %.2d(%s) %d / %d\n", static_cast<int>(ulStatusCode),
                  szStatusText ? text : "(null)", static_cast<int>(ulProgress), static_cast<int>(ulProgressMax));
    traceRaw(line);

    if (ulProgressMax != 0)
        m_nLastProgressMax = ulProgressMax;
    if (ulStatusCode == BINDSTATUS_CONNECTING)
        m_bConnecting = true;
    // Not while the request is being sent: the answer's headers are not all there yet.
    if (ulStatusCode >= BINDSTATUS_BEGINDOWNLOADDATA && ulStatusCode != BINDSTATUS_SENDINGREQUEST)
        learnFromBinding();

    if (hWnd) {
        ProgressInfo info = {ulProgress, ulProgressMax, limitStatusCode(ulStatusCode), szStatusText};
        SendMessageA(hWnd, WM_USER_PROGRESS, 0, reinterpret_cast<LPARAM>(&info));
    }
    if (hCancelEvent && WaitForSingleObject(hCancelEvent, 0) == WAIT_OBJECT_0) {
        m_bAborted = true;
        return E_ABORT;
    }
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
    // The file is complete now; held at once, nobody writes over it between
    // here and the patch's start.
    if (m_pHeld && m_pszHoldPath && SUCCEEDED(hresult))
        m_pHeld->open(m_pszHoldPath);
    traceLog("CBSCallbackImpl::OnStopBinding\n");
    m_bStopped = true;
    m_hrStop = hresult;
    learnFromBinding();
    m_binding.reset();
    return S_OK;
}

STDMETHODIMP CBSCallbackImpl::GetBindInfo(DWORD* grfBINDF, BINDINFO*)
{
    traceLog("CBSCallbackImpl::GetBindInfo\n");
    // Always from the server: a patch the publisher replaced must never
    // come out of a local cache, nor be left in one.
    if (grfBINDF)
        *grfBINDF |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
    return S_OK;
}

STDMETHODIMP CBSCallbackImpl::OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*)
{
    traceLog("CBSCallbackImpl::OnDataAvailable\n");
    return S_OK;
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
        char coding[64] = {};
        size = sizeof coding - 1;
        flags = 0;
        if (info->QueryInfo(HTTP_QUERY_CONTENT_ENCODING, coding, &size, &flags, nullptr) == S_OK && coding[0] &&
            lstrcmpiA(coding, "identity") != 0)
            m_bEncoded = true;
        char transfer[64] = {};
        size = sizeof transfer - 1;
        flags = 0;
        if (info->QueryInfo(HTTP_QUERY_TRANSFER_ENCODING, transfer, &size, &flags, nullptr) == S_OK &&
            StrStrIA(transfer, "chunked"))
            m_bChunked = true;
    }
}
