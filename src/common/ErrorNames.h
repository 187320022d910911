#pragma once
// The symbolic names and short texts of the error codes a run reports:
// HRESULTs of the URL moniker service, WinINet and WinVerifyTrust, and
// Win32 errors of file, process and pipe calls. A raw "0x800C0008" or
// "error 193" tells an administrator nothing; the name is what the
// platform's documentation is searched by. Portable: a fixed table, no
// FormatMessage (whose text depends on the machine's language).

#include <cstdint>
#include <string>

struct ErrorName {
    std::uint32_t code;
    const char* name; // "INET_E_CANNOT_CONNECT"
    const char* text; // "the connection to the server failed"
};

// The entry of an HRESULT (HRESULT_FROM_WIN32 values included, by their
// Win32 entry); null for a code the table does not hold.
const ErrorName* hresultName(std::uint32_t hr);
// The entry of a Win32 error code; null for one the table does not hold.
const ErrorName* win32ErrorName(unsigned long error);

// "0x800C0004 INET_E_CANNOT_CONNECT: the connection to the server failed",
// or "0x12345678" alone for a code the table does not hold.
std::string describeHresult(std::uint32_t hr);
// "error 193 ERROR_BAD_EXE_FORMAT: not a valid Windows program", or
// "error 42" alone.
std::string describeWin32Error(unsigned long error);
