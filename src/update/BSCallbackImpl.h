#pragma once
// The bind-status callback the worker hands to the URL moniker service,
// bound asynchronously to a stream: the service pulls nothing into a cache
// file; OnDataAvailable pulls the body from the stream and writes it into
// the file the run created and holds (CHeldFile, which hashes it as it
// goes). It forwards progress reports to the window (WM_USER_PROGRESS,
// sent; at most about ten a second, the trace one line a second) and, once
// the window has signalled the cancel event, answers every call with
// E_ABORT; the worker's loop aborts the binding (cancel).
//
// As the service's IHttpNegotiate it adds the request's headers (Accept-
// Encoding: identity; for a resumed attempt Range and If-Range) and judges
// the answer before a byte of its body is written: only a 2xx body is
// written, and the answer to a ranged request only when it continues the
// held bytes (a whole file empties them first). Redirects are followed
// within the redirect policy; one it refuses stops the transfer.
//
// It also notes what it learns about the transfer, so that the worker can
// tell a complete download from an error page or a cut body: the HTTP
// status and announced length, read through the binding the service hands
// to OnStartBinding (IWinInetHttpInfo), the last announced size, the result
// passed to OnStopBinding and whether it aborted.
//
// The object lives on the worker's stack; its reference count only counts.

#include "common/FileHash.h"
#include "common/Handles.h"
#include "update/HttpResume.h"
#include "update/ProgressText.h"
#include "update/RedirectPolicy.h"

#include <windows.h>
#include <urlmon.h>

#include <cstdint>
#include <string>

class CBSCallbackImpl : public IBindStatusCallback, public IHttpNegotiate {
public:
    // url: the one the attempt asks for (the redirect policy starts there).
    CBSCallbackImpl(HWND hWnd, HANDLE hCancelEvent, const char* url = "");
    ~CBSCallbackImpl();
    CBSCallbackImpl(const CBSCallbackImpl&) = delete;
    CBSCallbackImpl& operator=(const CBSCallbackImpl&) = delete;

    // IUnknown
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // IBindStatusCallback
    STDMETHODIMP OnStartBinding(DWORD dwReserved, IBinding* pib) override;
    STDMETHODIMP GetPriority(LONG* pnPriority) override;
    STDMETHODIMP OnLowResource(DWORD reserved) override;
    STDMETHODIMP OnProgress(ULONG ulProgress, ULONG ulProgressMax, ULONG ulStatusCode, LPCWSTR szStatusText) override;
    STDMETHODIMP OnStopBinding(HRESULT hresult, LPCWSTR szError) override;
    STDMETHODIMP GetBindInfo(DWORD* grfBINDF, BINDINFO* pbindinfo) override;
    STDMETHODIMP OnDataAvailable(DWORD grfBSCF, DWORD dwSize, FORMATETC* pformatetc, STGMEDIUM* pstgmed) override;
    STDMETHODIMP OnObjectAvailable(REFIID riid, IUnknown* punk) override;
    // IHttpNegotiate
    STDMETHODIMP BeginningTransaction(LPCWSTR szURL, LPCWSTR szHeaders, DWORD dwReserved,
                                      LPWSTR* pszAdditionalHeaders) override;
    STDMETHODIMP OnResponse(DWORD dwResponseCode, LPCWSTR szResponseHeaders, LPCWSTR szRequestHeaders,
                            LPWSTR* pszAdditionalRequestHeaders) override;

    // A later attempt: ask for the bytes from `from` on (the held file
    // holds them) against the first answer's basis; 0: the whole file.
    void resumeFrom(std::uint64_t from, const ResumeBasis& basis);
    std::uint64_t resumedFrom() const { return m_nFrom; }
    // The answer could not be appended to the held bytes (the attempt failed).
    bool rangeFailed() const { return m_bRangeFailed; }
    // The answer to a ranged request was the whole file: the held bytes were dropped.
    bool startedOver() const { return m_bStartedOver; }
    // A redirect the policy refused (a RedirectVerdict), 0: none.
    int redirectRefused() const { return m_nRedirect; }
    // Where the attempt is after its redirects.
    const std::string& finalUrl() const { return m_redirects.url(); }
    // Body bytes this attempt wrote into the held file.
    std::uint64_t bodyBytes() const { return m_nWritten; }
    // The answer's headers (empty: not sent).
    const std::string& etag() const { return m_etag; }
    const std::string& lastModified() const { return m_lastModified; }
    const std::string& date() const { return m_date; }
    const std::string& retryAfter() const { return m_retryAfter; }

    // What was learnt about the transfer.
    bool statusKnown() const { return m_bStatusKnown; }
    std::uint32_t httpStatus() const { return m_nHttpStatus; }
    // The announced length: the Content-Length header when the server sent
    // one, else the last nonzero size of a progress report.
    bool lengthKnown() const { return m_bLengthKnown || m_nLastProgressMax != 0; }
    std::uint64_t announcedLength() const { return m_bLengthKnown ? m_nContentLength : m_nLastProgressMax; }
    // The body came with a Content-Encoding (gzip, deflate): the announced
    // length counts encoded bytes, not the decoded file's.
    bool encoded() const { return m_bEncoded; }
    // The body's end can be known: a Content-Length header or chunked
    // framing (Transfer-Encoding). True until the headers were read.
    bool framed() const { return !m_bStatusKnown || m_bLengthKnown || m_bChunked; }
    // Bounds the transfer: it is stopped (E_ABORT) as soon as more than
    // `sizePin` bytes arrived (counted as written, decoded) or, with a pin,
    // when the server announces another length; 0 means unpinned, bounded
    // by kUnpinnedSizeLimit.
    void setSizeBound(std::uint64_t sizePin);
    std::uint64_t sizeLimit() const { return m_nSizeLimit; }
    // Why the transfer was stopped for its size (DownloadFacts::SizeStop), 0: it was not.
    int sizeStop() const { return m_nSizeStop; }
    bool aborted() const { return m_bAborted; }
    bool stopped() const { return m_bStopped; }
    // The service reported that it connects: the server's name was resolved.
    bool connecting() const { return m_bConnecting; }
    // The file the body is written into, made and held by the run (see
    // CHeldFile::create).
    void writeTo(CHeldFile* file) { m_pFile = file; }
    // The body could not be written into it (the transfer was stopped).
    bool writeFailed() const { return m_bWriteFailed; }
    std::uint64_t received() const { return m_nReceived; }
    HRESULT stopResult() const { return m_hrStop; }
    // The window asked to stop: every later call answers E_ABORT and the
    // binding, once there, is aborted. On the worker's thread only.
    void cancel();

    LONG m_cRef;
    HWND hWnd;
    HANDLE hCancelEvent;

    // Sends the window the last report the pace held back, once its time
    // has come, so that the bar shows what arrived before the transfer went
    // quiet. True while one is still held: the caller comes back within
    // kHeldReportMs.
    bool flushHeldReport();
    enum : unsigned long { kHeldReportMs = 100 };

private:
    void learnFromBinding();
    // Reads the answer's headers once its status is known and decides
    // whether its body may be written (m_bAnswerRefused when not).
    void judgeAnswer();
    bool onRedirect(LPCWSTR location);
    // Traces a report (one a second of each status) and sends it to the
    // window (about ten a second).
    void report(ULONG progress, ULONG progressMax, ULONG statusCode, LPCWSTR statusText);
    // Whether the transfer is to stop for its size (m_nSizeStop set).
    bool pastSizeBound(std::uint64_t progress);
    // Whether the window asked to stop (the event seen once counts for good).
    bool cancelled();
    // Reads what the stream holds now into the file; false when the
    // transfer is to stop.
    bool pull(IStream* stream);

    CComOwner<IBinding> m_binding;
    CHeldFile* m_pFile = nullptr;
    bool m_bWriteFailed = false;
    bool m_bCancelled = false;
    std::uint64_t m_nReceived = 0;
    CProgressPace m_windowPace;
    CProgressPace m_tracePace;
    bool m_bReportHeld = false; // a report the window's pace held back
    ULONG m_nHeldProgress = 0;
    ULONG m_nHeldProgressMax = 0;
    ULONG m_nHeldStatus = 0;
    bool m_bStatusKnown = false;
    std::uint32_t m_nHttpStatus = 0;
    bool m_bLengthKnown = false;
    std::uint64_t m_nContentLength = 0;
    std::uint32_t m_nLastProgressMax = 0;
    bool m_bEncoded = false;
    bool m_bChunked = false;
    std::uint64_t m_nSizePin = 0;
    std::uint64_t m_nSizeLimit;
    int m_nSizeStop = 0;
    bool m_bAborted = false;
    bool m_bStopped = false;
    bool m_bConnecting = false;
    HRESULT m_hrStop = S_OK;

    std::uint64_t m_nFrom = 0;
    ResumeBasis m_basis;
    CRedirectPolicy m_redirects;
    int m_nRedirect = 0;
    bool m_bAnswerJudged = false;
    bool m_bAnswerRefused = false; // its body is not written
    bool m_bRangeFailed = false;
    bool m_bStartedOver = false;
    std::uint64_t m_nWritten = 0;
    std::string m_etag, m_lastModified, m_date, m_retryAfter;
};
