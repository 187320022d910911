#include "common/Trace.h"

#include <windows.h>

void traceRaw(const char* text) { OutputDebugStringA(text); }

const std::string& traceCaptured()
{
    static const std::string none;
    return none;
}

void traceClear() {}
