#include "common/ErrorNames.h"

#include <cstdio>

namespace {

const ErrorName kHresults[] = {
    {0x80004004u, "E_ABORT", "the operation was aborted"},
    {0x80004005u, "E_FAIL", "unspecified failure"},
    {0x800C0002u, "INET_E_INVALID_URL", "the URL is not valid"},
    {0x800C0003u, "INET_E_NO_SESSION", "no Internet session"},
    {0x800C0004u, "INET_E_CANNOT_CONNECT", "the connection to the server failed"},
    {0x800C0005u, "INET_E_RESOURCE_NOT_FOUND", "the server or the file was not found"},
    {0x800C0006u, "INET_E_OBJECT_NOT_FOUND", "the object was not found"},
    {0x800C0007u, "INET_E_DATA_NOT_AVAILABLE", "no data is available"},
    {0x800C0008u, "INET_E_DOWNLOAD_FAILURE", "the download failed"},
    {0x800C0009u, "INET_E_AUTHENTICATION_REQUIRED", "the server asks for authentication"},
    {0x800C000Bu, "INET_E_CONNECTION_TIMEOUT", "the connection timed out"},
    {0x800C000Cu, "INET_E_INVALID_REQUEST", "the request is not valid"},
    {0x800C000Du, "INET_E_UNKNOWN_PROTOCOL", "the protocol is not known"},
    {0x800C000Eu, "INET_E_SECURITY_PROBLEM", "a security problem (certificate or zone)"},
    {0x800C000Fu, "INET_E_CANNOT_LOAD_DATA", "the data cannot be loaded"},
    {0x800C0011u, "INET_E_INVALID_CERTIFICATE", "the server's certificate is not valid"},
    {0x800C0014u, "INET_E_REDIRECT_FAILED", "a redirection failed"},
    {0x800C0015u, "INET_E_REDIRECT_TO_DIR", "redirected to a directory"},
    {0x800B0004u, "TRUST_E_SUBJECT_NOT_TRUSTED", "the signature is not trusted"},
    {0x800B0100u, "TRUST_E_NOSIGNATURE", "the file is not signed"},
    {0x800B0101u, "CERT_E_EXPIRED", "the certificate has expired"},
    {0x800B0109u, "CERT_E_UNTRUSTEDROOT", "the certificate chains to an untrusted root"},
    {0x800B010Cu, "CERT_E_REVOKED", "the certificate was revoked"},
    {0x80096010u, "TRUST_E_BAD_DIGEST", "the file was changed after it was signed"},
};

const ErrorName kWin32[] = {
    {2, "ERROR_FILE_NOT_FOUND", "the file was not found"},
    {3, "ERROR_PATH_NOT_FOUND", "the path was not found"},
    {5, "ERROR_ACCESS_DENIED", "access is denied"},
    {6, "ERROR_INVALID_HANDLE", "the handle is not valid"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {14, "ERROR_OUTOFMEMORY", "not enough memory"},
    {15, "ERROR_INVALID_DRIVE", "the drive does not exist"},
    {32, "ERROR_SHARING_VIOLATION", "the file is in use by another process"},
    {80, "ERROR_FILE_EXISTS", "the file exists"},
    {87, "ERROR_INVALID_PARAMETER", "a parameter is not valid"},
    {112, "ERROR_DISK_FULL", "the disk is full"},
    {123, "ERROR_INVALID_NAME", "the name is not valid"},
    {161, "ERROR_BAD_PATHNAME", "the path is not valid"},
    {183, "ERROR_ALREADY_EXISTS", "the name exists already"},
    {193, "ERROR_BAD_EXE_FORMAT", "not a valid Windows program"},
    {206, "ERROR_FILENAME_EXCED_RANGE", "the name is too long"},
    {216, "ERROR_EXE_MACHINE_TYPE_MISMATCH", "a program for another processor"},
    {222, "ERROR_BAD_FILE_TYPE", "not a file on a disk"},
    {231, "ERROR_PIPE_BUSY", "all pipe instances are busy"},
    {740, "ERROR_ELEVATION_REQUIRED", "the program asks for elevation"},
    {1142, "ERROR_TOO_MANY_LINKS", "the file has another name (a hard link)"},
    {1920, "ERROR_CANT_ACCESS_FILE", "the file cannot be accessed (a link)"},
    {12002, "ERROR_INTERNET_TIMEOUT", "the request timed out"},
    {12007, "ERROR_INTERNET_NAME_NOT_RESOLVED", "the server's name was not resolved"},
    {12029, "ERROR_INTERNET_CANNOT_CONNECT", "the connection to the server failed"},
    {12030, "ERROR_INTERNET_CONNECTION_ABORTED", "the connection was aborted"},
    {12031, "ERROR_INTERNET_CONNECTION_RESET", "the connection was reset"},
};

template <std::size_t N> const ErrorName* find(const ErrorName (&table)[N], std::uint32_t code)
{
    for (const ErrorName& entry : table)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

std::string withName(const char* number, const ErrorName* entry)
{
    std::string text = number;
    if (entry)
        text += std::string(" ") + entry->name + ": " + entry->text;
    return text;
}

} // namespace

const ErrorName* win32ErrorName(unsigned long error)
{
    return error > 0xFFFFFFFFul ? nullptr : find(kWin32, static_cast<std::uint32_t>(error));
}

const ErrorName* hresultName(std::uint32_t hr)
{
    if (const ErrorName* entry = find(kHresults, hr))
        return entry;
    // HRESULT_FROM_WIN32: severity error, facility 7, the Win32 code below.
    if ((hr & 0xFFFF0000u) == 0x80070000u)
        return win32ErrorName(hr & 0xFFFFu);
    return nullptr;
}

std::string describeHresult(std::uint32_t hr)
{
    char number[16];
    std::snprintf(number, sizeof number, "0x%08lX", static_cast<unsigned long>(hr));
    return withName(number, hresultName(hr));
}

std::string describeWin32Error(unsigned long error)
{
    return withName(("error " + std::to_string(error)).c_str(), win32ErrorName(error));
}
