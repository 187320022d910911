#include "common/Trace.h"

#include "common/LogLines.h"
#include "common/TracePlatform.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

enum class LogMode { Holding, Open, Off };
enum { kLockWaitSeconds = 2 };

struct LogState {
    // Timed: a thread ended while it held the lock (the worker is
    // terminated when it does not stop) must not stop every later trace.
    std::timed_mutex lock;
    LogMode mode = LogMode::Holding;
    bool verbose = false;
    std::vector<std::string> held; // whole records, stamped when traced
    unsigned long dropped = 0;     // lines not held because the hold was full
};

LogState& logState()
{
    static LogState state;
    return state;
}

// The log file's records of one text: one stamped record a line.
std::string logRecord(const char* text)
{
    return logRecords(traceLocalStamp(), traceTextToUtf8(text));
}

} // namespace

void traceLog(const char* format, ...)
{
    char line[1024] = {};
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof line, format, args);
    va_end(args);
    traceRaw(line);
}

void traceRaw(const char* text)
{
    if (!text)
        return;
    LogState& log = logState();
    std::unique_lock<std::timed_mutex> guard(log.lock, std::chrono::seconds(kLockWaitSeconds));
    traceDebugOutput(text);
    if (!guard.owns_lock() || (!log.verbose && isInternalTraceLine(text)))
        return;
    switch (log.mode) {
    case LogMode::Holding:
        if (log.held.size() < kTraceHeldLines)
            log.held.push_back(logRecord(text));
        else
            ++log.dropped;
        break;
    case LogMode::Open:
        traceFileAppend(logRecord(text));
        break;
    case LogMode::Off:
        break;
    }
}

void traceSetVerbose(bool verbose)
{
    LogState& log = logState();
    std::unique_lock<std::timed_mutex> guard(log.lock);
    log.verbose = verbose;
}

unsigned long traceOpenLog(const char* utf8Path, const char* header)
{
    LogState& log = logState();
    std::unique_lock<std::timed_mutex> guard(log.lock);
    if (log.mode == LogMode::Open)
        traceFileClose();
    unsigned long error = traceFileOpen(utf8Path ? utf8Path : "");
    if (error == 0) {
        log.mode = LogMode::Open;
        if (header && *header) {
            traceDebugOutput(header);
            traceFileAppend(logRecord(header));
        }
        for (const std::string& record : log.held)
            traceFileAppend(record);
        if (log.dropped) {
            char note[96];
            std::snprintf(note, sizeof note, "[Veldrun] (%lu earlier trace lines not kept)\n", log.dropped);
            traceFileAppend(logRecord(note));
        }
    } else {
        log.mode = LogMode::Off;
    }
    log.held.clear();
    log.held.shrink_to_fit();
    log.dropped = 0;
    return error;
}

void traceNoLog()
{
    LogState& log = logState();
    std::unique_lock<std::timed_mutex> guard(log.lock);
    if (log.mode == LogMode::Holding)
        log.mode = LogMode::Off;
    log.held.clear();
    log.held.shrink_to_fit();
    log.dropped = 0;
}
