// The plain platform download, for the benchmark's lower bound: one
// URLDownloadToFileA call without a callback. Exit status 0 on success.
#include <windows.h>
#include <urlmon.h>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HRESULT hr = URLDownloadToFileA(nullptr, argv[1], argv[2], 0, nullptr);
    CoUninitialize();
    return SUCCEEDED(hr) ? 0 : 1;
}
