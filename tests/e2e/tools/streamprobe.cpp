// The platform's URL moniker bound to a stream, without any of the
// program's code: fetches argv[1] with BINDF_PULLDATA, BINDF_NOWRITECACHE
// and BINDF_GETNEWESTVERSION, pulls each notification's data from the
// stream and prints the byte count, every progress report (the cache file's
// name among them, when the service makes one) and the result. argv[2]:
// "a" asynchronous binding on this thread's message loop (default), "s"
// synchronous. Tells whether the service stages the body in a cache file.
#include <windows.h>
#include <urlmon.h>

#include <cstdio>

namespace {
bool g_done = false;

class Callback : public IBindStatusCallback {
public:
    explicit Callback(bool async) : m_async(async) {}
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IBindStatusCallback))
            return E_NOINTERFACE;
        *ppv = static_cast<IBindStatusCallback*>(this);
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return 2; }
    STDMETHODIMP_(ULONG) Release() override { return 1; }
    STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return S_OK; }
    STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
    STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
    STDMETHODIMP OnProgress(ULONG progress, ULONG max, ULONG code, LPCWSTR text) override
    {
        std::printf("progress %lu %lu/%lu %ls\n", code, progress, max, text ? text : L"");
        return S_OK;
    }
    STDMETHODIMP OnStopBinding(HRESULT hr, LPCWSTR) override
    {
        std::printf("stop 0x%08lx bytes %llu\n", static_cast<unsigned long>(hr), m_bytes);
        g_done = true;
        return S_OK;
    }
    STDMETHODIMP GetBindInfo(DWORD* flags, BINDINFO* info) override
    {
        *flags = BINDF_PULLDATA | BINDF_NOWRITECACHE | BINDF_GETNEWESTVERSION | BINDF_PRAGMA_NO_CACHE;
        if (m_async)
            *flags |= BINDF_ASYNCHRONOUS | BINDF_ASYNCSTORAGE;
        DWORD size = info->cbSize;
        ZeroMemory(info, size);
        info->cbSize = size;
        return S_OK;
    }
    STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM* medium) override
    {
        if (!medium || medium->tymed != TYMED_ISTREAM || !medium->pstm)
            return S_OK;
        char buf[65536];
        for (;;) {
            ULONG got = 0;
            HRESULT hr = medium->pstm->Read(buf, sizeof buf, &got);
            m_bytes += got;
            if (hr != S_OK || got == 0)
                break;
        }
        return S_OK;
    }
    STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return S_OK; }

private:
    bool m_async;
    unsigned long long m_bytes = 0;
};
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    bool async = argc < 3 || argv[2][0] != 's';
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    wchar_t url[2048] = {};
    MultiByteToWideChar(CP_ACP, 0, argv[1], -1, url, 2047);
    Callback callback(async);
    IMoniker* moniker = nullptr;
    IBindCtx* context = nullptr;
    HRESULT hr = CreateURLMonikerEx(nullptr, url, &moniker, URL_MK_UNIFORM);
    if (SUCCEEDED(hr))
        hr = CreateAsyncBindCtx(0, &callback, nullptr, &context);
    IStream* stream = nullptr;
    if (SUCCEEDED(hr))
        hr = moniker->BindToStorage(context, nullptr, IID_IStream, reinterpret_cast<void**>(&stream));
    std::printf("bind 0x%08lx\n", static_cast<unsigned long>(hr));
    MSG msg;
    while (SUCCEEDED(hr) && !g_done && GetMessageW(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
    }
    if (stream)
        stream->Release();
    std::fflush(stdout);
    return g_done ? 0 : 1;
}
