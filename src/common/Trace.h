#pragma once
// Trace lines for the debugger output. The text is formatted printf-style
// into a 1,024-byte buffer (longer lines are cut) and handed over as it is:
// the "[Veldrun] " prefix and the final line break belong to the caller's
// format. On Windows the line goes to OutputDebugStringA; on the host it is
// collected for tests (see traceCaptured).

#include <string>

void traceLog(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Hands an already formatted line to the trace output unchanged (it is not
// used as a format).
void traceRaw(const char* text);

// Host builds only: every line traced since the last traceClear, in order.
const std::string& traceCaptured();
void traceClear();
