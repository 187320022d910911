// The bind-status callback's contract: COM identity and counting, progress
// forwarding with the status-code limit, cancel after the report, and the
// bind flags asked for.
#include "update/BSCallbackImpl.h"
#include "update/DownloadJob.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(E_NOINTERFACE, cb.QueryInterface(IID_IHttpNegotiate, &p));
    EXPECT_EQ(nullptr, p);
    EXPECT_EQ(S_OK, cb.QueryInterface(IID_IBindStatusCallback, &p));
    EXPECT_EQ(static_cast<IBindStatusCallback*>(&cb), p);
    EXPECT_EQ(S_OK, cb.QueryInterface(IID_IUnknown, &p));
    EXPECT_EQ(3, cb.m_cRef);
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

TEST_F(CallbackTest, CancelAbortsAfterTheReportOnce)
{
    CBSCallbackImpl cb(wnd, cancel);
    SetEvent(cancel);
    EXPECT_EQ(E_ABORT, cb.OnProgress(10, 20, 5, nullptr));
    EXPECT_EQ(1u, g_seen.size()); // the report was still delivered
    EXPECT_TRUE(cb.aborted());
    EXPECT_EQ(S_OK, cb.OnProgress(11, 20, 5, nullptr)); // the test reset the event
}

TEST_F(CallbackTest, NullWindowAndEventAreAccepted)
{
    CBSCallbackImpl cb(nullptr, nullptr);
    EXPECT_EQ(S_OK, cb.OnProgress(1, 2, 4, nullptr));
    EXPECT_TRUE(g_seen.empty());
}

TEST_F(CallbackTest, AsksForAFreshCopyAndKeepsTheServiceFlags)
{
    CBSCallbackImpl cb(wnd, cancel);
    DWORD flags = BINDF_ASYNCHRONOUS | BINDF_PULLDATA;
    BINDINFO info = {};
    info.cbSize = sizeof info;
    EXPECT_EQ(S_OK, cb.GetBindInfo(&flags, &info));
    EXPECT_EQ(static_cast<DWORD>(BINDF_ASYNCHRONOUS | BINDF_PULLDATA | BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE |
                                 BINDF_PRAGMA_NO_CACHE),
              flags);
    EXPECT_EQ(E_NOTIMPL, cb.GetPriority(nullptr));
    EXPECT_EQ(S_OK, cb.OnStopBinding(E_ABORT, nullptr));
    EXPECT_TRUE(cb.stopped());
    EXPECT_EQ(E_ABORT, cb.stopResult());
}

} // namespace
