#pragma once
// What of the trace goes into the run's log file, and how: the log is read
// by people and by tools that expect one stamped record a line. Portable.

#include <string>

// A line of the program's internals: a class member's name first
// ("WindowProc::WM_WINDOWPOSCHANGING", "CBSCallbackImpl::OnProgress 04(...)").
// Such lines go to the log file only with /verbose; the debugger output
// keeps every line.
bool isInternalTraceLine(const char* text);

// The log records of one traced text (already UTF-8): each line of it
// (a text may hold line breaks) as "<stamp> <line>\n"; empty lines are left
// out, so a text always gives whole, stamped lines.
std::string logRecords(const std::string& stamp, const std::string& text);
