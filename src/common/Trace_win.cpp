#include "common/Trace.h"
#include "common/TracePlatform.h"

#include <windows.h>

#include <cstdio>

namespace {
enum { kMaxLogPath = 259 };
// A name under \\.\pipe\ reaches a server that may be any process of the
// user: it must learn who we are at most, never act as us (without these
// flags it could impersonate the elevated run).
const DWORD kLogOpenFlags = FILE_ATTRIBUTE_NORMAL | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION;

HANDLE& logFile()
{
    static HANDLE file = INVALID_HANDLE_VALUE;
    return file;
}

std::wstring widened(UINT codePage, const char* text)
{
    std::wstring wide;
    int n = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
    if (n > 1) {
        wide.resize(static_cast<std::size_t>(n));
        MultiByteToWideChar(codePage, 0, text, -1, &wide[0], n);
        wide.resize(static_cast<std::size_t>(n - 1));
    }
    return wide;
}
} // namespace

void traceDebugOutput(const char* text)
{
    OutputDebugStringA(text);
}

std::string traceLocalStamp()
{
    FILETIME utc = {}, local = {};
    GetSystemTimeAsFileTime(&utc);
    FileTimeToLocalFileTime(&utc, &local);
    SYSTEMTIME t = {};
    FileTimeToSystemTime(&local, &t);
    auto ticks = [](const FILETIME& f) {
        return static_cast<long long>((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime);
    };
    // Minutes east of UTC, from the two clocks of the same instant.
    long offset = static_cast<long>((ticks(local) - ticks(utc)) / (10000000LL * 60));
    long magnitude = offset < 0 ? -offset : offset;
    char text[40];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u.%03u%c%02ld:%02ld", t.wYear, t.wMonth, t.wDay,
                  t.wHour, t.wMinute, t.wSecond, t.wMilliseconds, offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string traceTextToUtf8(const char* text)
{
    std::wstring wide = widened(CP_ACP, text);
    std::string utf8;
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (n > 1) {
        utf8.resize(static_cast<std::size_t>(n));
        WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, &utf8[0], n, nullptr, nullptr);
        utf8.resize(static_cast<std::size_t>(n - 1));
    }
    return utf8;
}

unsigned long traceFileOpen(const char* utf8Path)
{
    std::wstring path = widened(CP_UTF8, utf8Path);
    if (path.empty())
        return ERROR_INVALID_NAME;
    if (path.size() > kMaxLogPath)
        return ERROR_FILENAME_EXCED_RANGE;
    // Append access only: every write goes to the end of the file, also
    // when another run appends to it at the same time. A link planted at
    // the path is opened as itself, never followed: the elevated run must
    // not append to whatever it points at.
    HANDLE file = CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_ALWAYS, kLogOpenFlags | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    BY_HANDLE_FILE_INFORMATION info = {};
    DWORD refused = 0;
    if (GetFileType(file) != FILE_TYPE_DISK)
        refused = ERROR_BAD_FILE_TYPE; // a pipe, a console, a device
    else if (!GetFileInformationByHandle(file, &info))
        refused = GetLastError() ? GetLastError() : ERROR_OPEN_FAILED;
    else if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)
        refused = ERROR_CANT_ACCESS_FILE; // a symbolic link or junction
    else if (info.nNumberOfLinks > 1)
        refused = ERROR_TOO_MANY_LINKS; // another name of someone else's file
    if (refused) {
        CloseHandle(file);
        return refused;
    }
    logFile() = file;
    return 0;
}

bool traceFileAppend(const std::string& bytes)
{
    DWORD written = 0;
    // No buffer of our own: once WriteFile returns, the line is the
    // system's, and a killed run loses nothing it wrote.
    return logFile() != INVALID_HANDLE_VALUE &&
           WriteFile(logFile(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
           written == bytes.size();
}

void traceFileClose()
{
    if (logFile() != INVALID_HANDLE_VALUE)
        CloseHandle(logFile());
    logFile() = INVALID_HANDLE_VALUE;
}

const std::string& traceCaptured()
{
    static const std::string none;
    return none;
}

void traceClear() {}
