// The platform download with a bind-status callback, without any of the
// program's code: downloads argv[1] to argv[2] and prints each callback as
// it comes. argv[3] holds the variant's letters (default "q"):
//   q  the callback keeps the binding from OnStartBinding and asks it for
//      the HTTP status through IWinInetHttpInfo, as the download worker does
//   t  each callback also traces itself with OutputDebugStringA
//   m  the download runs on the main thread instead of a worker thread
// Tells a fault of the program from one of the platform.
#include <windows.h>
#include <urlmon.h>
#include <wininet.h>

#include <process.h>

#include <cstdio>
#include <cstring>

namespace {
bool g_query = true;
bool g_trace = false;

void say(const char* text)
{
    if (g_trace)
        OutputDebugStringA(text);
    std::fputs(text, stdout);
    std::fflush(stdout);
}

class Callback : public IBindStatusCallback {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IBindStatusCallback)) {
            *ppv = static_cast<IBindStatusCallback*>(this);
            return S_OK;
        }
        return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnStartBinding(DWORD, IBinding* pib) override
    {
        say("OnStartBinding\n");
        if (g_query && pib) {
            pib->AddRef();
            m_binding = pib;
        }
        return S_OK;
    }
    STDMETHODIMP GetPriority(LONG*) override
    {
        say("GetPriority\n");
        return E_NOTIMPL;
    }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG max, ULONG code, LPCWSTR) override
    {
        char line[96];
        std::snprintf(line, sizeof line, "OnProgress %lu %lu/%lu\n", code, progress, max);
        say(line);
        if (code >= BINDSTATUS_BEGINDOWNLOADDATA)
            query();
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override
    {
        char line[64];
        std::snprintf(line, sizeof line, "OnStopBinding 0x%08lX\n", static_cast<unsigned long>(hr));
        say(line);
        query();
        if (m_binding) {
            m_binding->Release();
            m_binding = nullptr;
        }
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO*) override
    {
        say("GetBindInfo\n");
        if (flags)
            *flags |= BINDF_GETNEWESTVERSION | BINDF_NOWRITECACHE | BINDF_PRAGMA_NO_CACHE;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return S_OK; }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    void query()
    {
        if (!m_binding)
            return;
        IWinInetHttpInfo* info = nullptr;
        if (FAILED(m_binding->QueryInterface(IID_IWinInetHttpInfo, reinterpret_cast<void**>(&info))) || !info) {
            say("no IWinInetHttpInfo\n");
            return;
        }
        DWORD status = 0, size = sizeof status, flags = 0;
        HRESULT hr = info->QueryInfo(HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size, &flags, nullptr);
        char line[64];
        std::snprintf(line, sizeof line, "status 0x%08lX %lu\n", static_cast<unsigned long>(hr), status);
        say(line);
        info->Release();
    }
    IBinding* m_binding = nullptr;
};

const char* g_url;
const char* g_path;

unsigned __stdcall download(void*)
{
    say("thread\n");
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    Callback callback;
    HRESULT hr = URLDownloadToFileA(nullptr, g_url, g_path, 0, &callback);
    char line[64];
    std::snprintf(line, sizeof line, "result 0x%08lX\n", static_cast<unsigned long>(hr));
    say(line);
    CoUninitialize();
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    g_url = argv[1];
    g_path = argv[2];
    const char* variant = argc > 3 ? argv[3] : "q";
    g_query = std::strchr(variant, 'q') != nullptr;
    g_trace = std::strchr(variant, 't') != nullptr;
    if (std::strchr(variant, 'm'))
        return static_cast<int>(download(nullptr));
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, &download, nullptr, 0, nullptr));
    if (!thread)
        return 2;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    say("done\n");
    return 0;
}
