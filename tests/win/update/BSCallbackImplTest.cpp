// The bind-status callback's contract: COM identity and counting, progress
// forwarding with the status-code limit, a cancel answered by every call,
// the bind flags asked for, and the body pulled into the held file.
#include "update/BSCallbackImpl.h"
#include "update/DownloadJob.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

#include <cstdio>

#include <vector>

namespace {

struct Seen {
    std::uint32_t progress, progressMax, statusCode;
    const wchar_t* statusText;
};
std::vector<Seen> g_seen;

LRESULT CALLBACK recorder(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_USER_PROGRESS) {
        auto* p = reinterpret_cast<const ProgressInfo*>(lParam);
        g_seen.push_back({p->progress, p->progressMax, p->statusCode, p->statusText});
        return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
}

class CallbackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WNDCLASSW wc = {};
        wc.lpfnWndProc = &recorder;
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.lpszClassName = L"VdrProgressRecorder";
        RegisterClassW(&wc);
        wnd = CreateWindowW(L"VdrProgressRecorder", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, wnd);
        cancel = CreateEventW(nullptr, FALSE, FALSE, nullptr);
        g_seen.clear();
    }
    void TearDown() override
    {
        DestroyWindow(wnd);
        CloseHandle(cancel);
    }
    HWND wnd = nullptr;
    HANDLE cancel = nullptr;
};

TEST_F(CallbackTest, QueryInterfaceAndCountingOnly)
{
    CBSCallbackImpl cb(wnd, cancel);
    EXPECT_EQ(1, cb.m_cRef);
    EXPECT_EQ(E_FAIL, cb.QueryInterface(IID_IUnknown, nullptr));
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, cb.QueryInterface(IID_IHttpNegotiate2, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, cb.QueryInterface(IID_IHttpNegotiate, &p));
    EXPECT_EQ(static_cast<IHttpNegotiate*>(&cb), p);
    EXPECT_EQ(S_OK, cb.QueryInterface(IID_IBindStatusCallback, &p));
    EXPECT_EQ(static_cast<IBindStatusCallback*>(&cb), p);
    EXPECT_EQ(S_OK, cb.QueryInterface(IID_IUnknown, &p));
    EXPECT_EQ(4, cb.m_cRef);
    EXPECT_EQ(3u, cb.Release());
    EXPECT_EQ(2u, cb.Release());
    EXPECT_EQ(1u, cb.Release());
    EXPECT_EQ(0u, cb.Release());
    EXPECT_EQ(static_cast<ULONG>(-1), cb.Release()); // below zero: nothing happens
    EXPECT_EQ(0u, cb.AddRef());
}

TEST_F(CallbackTest, ForwardsEveryReportWithTheStatusLimited)
{
    CBSCallbackImpl cb(wnd, cancel);
    const wchar_t text[] = L"100% done";
    const ULONG codes[] = {0, 2, 4, 25, 26, 40};
    const std::uint32_t forwarded[] = {26, 2, 4, 25, 26, 26};
    for (ULONG code : codes)
        EXPECT_EQ(S_OK, cb.OnProgress(1000, 5000, code, code == 4 ? text : nullptr));
    ASSERT_EQ(6u, g_seen.size());
    for (size_t i = 0; i < g_seen.size(); ++i) {
        EXPECT_EQ(forwarded[i], g_seen[i].statusCode) << i;
        EXPECT_EQ(1000u, g_seen[i].progress);
        EXPECT_EQ(5000u, g_seen[i].progressMax);
    }
    EXPECT_EQ(text, g_seen[2].statusText);
    EXPECT_EQ(nullptr, g_seen[0].statusText);
    EXPECT_TRUE(cb.lengthKnown());
    EXPECT_EQ(5000u, cb.announcedLength());
}

TEST_F(CallbackTest, ACancelSeenOnceIsAnsweredByEveryCallWithAbort)
{
    CBSCallbackImpl cb(wnd, cancel);
    SetEvent(cancel);
    EXPECT_EQ(E_ABORT, cb.OnProgress(10, 20, 5, nullptr));
    EXPECT_TRUE(g_seen.empty()); // nothing more reaches the window
    EXPECT_TRUE(cb.aborted());
    // The event was auto-reset by the first look; the answer stays.
    DWORD flags = 0;
    BINDINFO info = {};
    info.cbSize = sizeof info;
    EXPECT_EQ(E_ABORT, cb.OnProgress(11, 20, 5, nullptr));
    EXPECT_EQ(E_ABORT, cb.OnStartBinding(0, nullptr));
    EXPECT_EQ(E_ABORT, cb.GetBindInfo(&flags, &info));
    EXPECT_EQ(E_ABORT, cb.OnDataAvailable(0, 0, nullptr, nullptr));
}

TEST_F(CallbackTest, NullWindowAndEventAreAccepted)
{
    CBSCallbackImpl cb(nullptr, nullptr);
    EXPECT_EQ(S_OK, cb.OnProgress(1, 2, 4, nullptr));
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(CallbackTest, AsksForAStreamFromTheServerWithoutACacheFile)
{
    CBSCallbackImpl cb(wnd, cancel);
    DWORD flags = BINDF_NEEDFILE | BINDF_FROMURLMON;
    BINDINFO info = {};
    info.cbSize = sizeof info;
    info.dwBindVerb = BINDVERB_POST;
    EXPECT_EQ(S_OK, cb.GetBindInfo(&flags, &info));
    EXPECT_EQ(static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE | BINDF_PULLDATA | BINDF_GETNEWESTVERSION |
                                 BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE),
              flags);
    EXPECT_EQ(static_cast<DWORD>(BINDVERB_GET), info.dwBindVerb);
    EXPECT_EQ(sizeof info, info.cbSize);
    EXPECT_EQ(E_NOTIMPL, cb.GetPriority(nullptr));
    EXPECT_EQ(S_OK, cb.OnStopBinding(E_ABORT, nullptr));
    EXPECT_TRUE(cb.stopped());
    EXPECT_EQ(E_ABORT, cb.stopResult());
}

// The body pulled from the stream goes into the held file, counted as it
// arrives: past the size bound nothing more is written and the transfer
// stops.
TEST_F(CallbackTest, PullsTheStreamIntoTheHeldFileWithinTheBound)
{
    struct Case {
        std::uint64_t bound;
        HRESULT answer;
        std::int64_t written;
        int sizeStop;
    };
    const std::size_t body = 200000;
    const Case cases[] = {
        {0, S_OK, static_cast<std::int64_t>(body), 0},
        {body, S_OK, static_cast<std::int64_t>(body), 0},
        {body - 1, E_ABORT, 196608, DownloadFacts::kSizePassed}, // three whole reads; the fourth passes it
    };
    std::vector<unsigned char> bytes(body);
    for (std::size_t i = 0; i < body; ++i)
        bytes[i] = static_cast<unsigned char>(i * 7);
    for (const Case& c : cases) {
        CBSCallbackImpl cb(wnd, cancel);
        cb.setSizeBound(c.bound);
        CHeldFile held;
        std::remove("callback_pull.bin");
        ASSERT_TRUE(held.create("callback_pull.bin"));
        cb.writeTo(&held);
        IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
        ASSERT_NE(nullptr, stream);
        STGMEDIUM medium = {};
        medium.tymed = TYMED_ISTREAM;
        medium.pstm = stream;
        EXPECT_EQ(c.answer, cb.OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, &medium)) << c.bound;
        stream->Release();
        EXPECT_EQ(c.written, held.size()) << c.bound;
        EXPECT_EQ(c.sizeStop, cb.sizeStop()) << c.bound;
        EXPECT_EQ(c.answer != S_OK, cb.aborted()) << c.bound;
        held.close();
        std::remove("callback_pull.bin");
    }
}

// What a request asks for, and a resumed attempt whose answer cannot be
// judged (no HTTP status reached the callback): nothing is appended to
// the held bytes.
TEST_F(CallbackTest, AsksForTheRestAndAppendsNothingUnjudged)
{
    ResumeBasis basis;
    basis.validator = "\"v1\"";
    basis.total = 1000;
    const struct {
        std::uint64_t from;
        const wchar_t* headers;
    } cases[] = {
        {0, L"Accept-Encoding: identity\r\n"},
        {400, L"Accept-Encoding: identity\r\nRange: bytes=400-\r\nIf-Range: \"v1\"\r\n"},
    };
    unsigned char bytes[600] = {};
    for (const auto& c : cases) {
        CBSCallbackImpl cb(wnd, cancel, "http://h/x.exe");
        cb.resumeFrom(c.from, basis);
        LPWSTR extra = nullptr;
        ASSERT_EQ(S_OK, cb.BeginningTransaction(L"http://h/x.exe", L"", 0, &extra));
        ASSERT_NE(nullptr, extra);
        EXPECT_STREQ(c.headers, extra);
        CoTaskMemFree(extra);

        CHeldFile held;
        std::remove("callback_resume.bin");
        ASSERT_TRUE(held.create("callback_resume.bin"));
        ASSERT_TRUE(held.write(bytes, static_cast<std::size_t>(c.from)));
        cb.writeTo(&held);
        IStream* stream = SHCreateMemStream(bytes, sizeof bytes);
        ASSERT_NE(nullptr, stream);
        STGMEDIUM medium = {};
        medium.tymed = TYMED_ISTREAM;
        medium.pstm = stream;
        EXPECT_EQ(c.from ? E_ABORT : S_OK, cb.OnDataAvailable(BSCF_FIRSTDATANOTIFICATION, 0, nullptr, &medium));
        stream->Release();
        EXPECT_EQ(c.from != 0, cb.rangeFailed()) << c.from;
        EXPECT_EQ(static_cast<std::int64_t>(c.from ? c.from : sizeof bytes), held.size()) << c.from;
        held.close();
        std::remove("callback_resume.bin");
    }
}

} // namespace
