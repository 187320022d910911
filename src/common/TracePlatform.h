#pragma once
// What the trace needs of the platform (Trace_win.cpp, Trace_host.cpp).
// Called with the trace's own lock held.

#include <string>

// The debugger output (Windows) or the collection for tests (host).
void traceDebugOutput(const char* text);

// The local time now, ISO 8601 with milliseconds and the offset from UTC:
// "2026-12-09T07:30:12.345+01:00".
std::string traceLocalStamp();

// A trace text (the program's narrow code page) in UTF-8.
std::string traceTextToUtf8(const char* text);

// The log file: opened for appending (created when missing, shared for
// reading and writing); 0 or the platform's error code. A path that is a
// link (Windows: a reparse point, or a file with more than one name) is
// refused, never followed.
unsigned long traceFileOpen(const char* utf8Path);
// Appends the bytes with one write; false when the write failed.
bool traceFileAppend(const std::string& bytes);
void traceFileClose();
