#include "common/Trace.h"

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
    std::vector<std::string> held; // whole records, stamped when traced
    unsigned long dropped = 0;     // lines not held because the hold was full
};

LogState& logState()
{
    static LogState state;
    return state;
}

// One record of the log file: stamp, blank, text, and a line break when
// the text does not end in one.
std::string logRecord(const char* text)
{
    std::string record = traceLocalStamp();
    record += ' ';
    record += traceTextToUtf8(text);
    if (record.back() != '\n')
        record += '\n';
    return record;
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
    if (!guard.owns_lock())
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

unsigned long traceOpenLog(const char* utf8Path)
{
    LogState& log = logState();
    std::unique_lock<std::timed_mutex> guard(log.lock);
    if (log.mode == LogMode::Open)
        traceFileClose();
    unsigned long error = traceFileOpen(utf8Path ? utf8Path : "");
    if (error == 0) {
        log.mode = LogMode::Open;
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
