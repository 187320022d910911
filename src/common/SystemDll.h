#pragma once
// DLLs that are not KnownDLLs (bcrypt, urlmon, wininet) are not imported:
// Windows would look for them in the program's folder first, where anyone
// who can write to the Downloads folder could drop one that then runs with
// administrator rights. They are loaded on first use from System32 only,
// after restrictDllSearch. Windows only.

#include <windows.h>

// What a call of a missing CNG function gives (STATUS_NOT_FOUND).
constexpr long kNtNotFound = static_cast<long>(0xC0000225UL);

// Makes System32 the only folder the process's later DLL loads search
// (SetDefaultDllDirectories); the program's own folder and the working
// directory are left out. Called first thing at start. False when the
// platform lacks the call.
bool restrictDllSearch();

// The procedure `proc` of the System32 DLL `dll`, loaded once; null when
// either is missing.
FARPROC systemProc(const wchar_t* dll, const char* proc);

// systemProc as a typed function pointer: systemFunction(L"bcrypt.dll",
// "BCryptHashData", &BCryptHashData) gives a pointer of BCryptHashData's type.
template <class F> F* systemFunction(const wchar_t* dll, const char* proc, F*)
{
    return reinterpret_cast<F*>(reinterpret_cast<void (*)()>(systemProc(dll, proc)));
}

// A call of the System32 DLL's function of that name (a null function gives
// `failed`), e.g. SYSTEM_CALL(L"urlmon.dll", IsValidURL, E_FAIL, (nullptr, url, 0)).
#define SYSTEM_CALL(dll, fn, failed, args)                                                                             \
    ([&] {                                                                                                             \
        static auto* const p = systemFunction(dll, #fn, &fn);                                                          \
        return p ? p args : failed;                                                                                    \
    }())
