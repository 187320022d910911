#pragma once
// Trace lines for the debugger output and the run's log file. The text is
// formatted printf-style into a 1,024-byte buffer (longer lines are cut) and
// handed over as it is: the "[Veldrun] " prefix and the final line break
// belong to the caller's format. On Windows the line goes to
// OutputDebugStringA; on the host it is collected for tests (see
// traceCaptured).
//
// With a log file open ("/log FILE"), every line is also appended to it:
// each line of the text (a text may hold line breaks) as a local ISO 8601
// time stamp, one blank and the line in UTF-8, in one write, so that runs sharing a file never
// split each other's lines and a killed run leaves every line it wrote.
// Until the launcher has decided about the log file, lines are held (at most
// kTraceHeldLines, with the time they were traced) and written first.
// Safe to call from any thread.

#include <string>

void traceLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Hands an already formatted line to the trace output unchanged (it is not
// used as a format).
void traceRaw(const char* text);

enum { kTraceHeldLines = 256 };

// Opens the log file (path in UTF-8) for appending, creating it when
// missing, shared for reading and writing, and writes the header (when
// given: also to the debugger output), then the lines held so far.
// Returns 0, or the platform's error code when the file cannot be opened
// (then the held lines are dropped and no log is written). A path longer
// than 259 characters is refused.
unsigned long traceOpenLog(const char* utf8Path, const char* header = nullptr);

// Whether the program's internal lines (isInternalTraceLine) go to the log
// file too ("/verbose"); they always go to the debugger output.
void traceSetVerbose(bool verbose);

// No log file will be opened: drops the held lines and holds no more.
void traceNoLog();

// Host builds only: every line traced since the last traceClear, in order.
const std::string& traceCaptured();
void traceClear();
