#include "common/SystemDll.h"

bool restrictDllSearch()
{
    using SetDirs = BOOL(WINAPI*)(DWORD);
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto set = kernel ? reinterpret_cast<SetDirs>(
                            reinterpret_cast<void (*)()>(GetProcAddress(kernel, "SetDefaultDllDirectories")))
                      : nullptr;
    return set && set(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

FARPROC systemProc(const wchar_t* dll, const char* proc)
{
    // Loaded for the process's life: the modules stay until it ends.
    HMODULE module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    return module ? GetProcAddress(module, proc) : nullptr;
}
