#include "common/Trace.h"

#include <cstdio>
#include <cstdlib>

namespace {
std::string& captured()
{
    static std::string lines;
    return lines;
}
} // namespace

void traceRaw(const char* text)
{
    captured() += text;
    if (std::getenv("VELDRUN_TRACE"))
        std::fputs(text, stderr);
}

const std::string& traceCaptured() { return captured(); }

void traceClear() { captured().clear(); }
