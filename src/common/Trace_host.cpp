#include "common/Trace.h"
#include "common/TracePlatform.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include <cerrno>
#include <sys/time.h>

namespace {
std::string& captured()
{
    static std::string lines;
    return lines;
}

std::FILE*& logFile()
{
    static std::FILE* file = nullptr;
    return file;
}
} // namespace

void traceDebugOutput(const char* text)
{
    captured() += text;
    if (std::getenv("VELDRUN_TRACE"))
        std::fputs(text, stderr);
}

std::string traceLocalStamp()
{
    timeval now = {};
    gettimeofday(&now, nullptr);
    std::tm local = {};
    localtime_r(&now.tv_sec, &local);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    long offset = local.tm_gmtoff / 60;
    char tail[48];
    std::snprintf(tail, sizeof tail, ".%03ld%c%02ld:%02ld", static_cast<long>(now.tv_usec / 1000),
                  offset < 0 ? '-' : '+', (offset < 0 ? -offset : offset) / 60, (offset < 0 ? -offset : offset) % 60);
    return std::string(text) + tail;
}

std::string traceTextToUtf8(const char* text)
{
    return text;
}

unsigned long traceFileOpen(const char* utf8Path)
{
    if (std::strlen(utf8Path) > 259)
        return ENAMETOOLONG;
    logFile() = std::fopen(utf8Path, "ab");
    return logFile() ? 0 : static_cast<unsigned long>(errno ? errno : EIO);
}

bool traceFileAppend(const std::string& bytes)
{
    std::FILE* f = logFile();
    return f && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
}

void traceFileClose()
{
    if (logFile())
        std::fclose(logFile());
    logFile() = nullptr;
}

const std::string& traceCaptured()
{
    return captured();
}

void traceClear()
{
    captured().clear();
}
