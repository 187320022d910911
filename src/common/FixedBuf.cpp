#include "common/FixedBuf.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

bool copyBounded(char* dst, std::size_t cap, const char* src)
{
    if (!dst || cap == 0)
        return false;
    if (!src)
        src = "";
    std::size_t n = std::strlen(src);
    bool fits = n < cap;
    if (!fits)
        n = cap - 1;
    std::memcpy(dst, src, n);
    dst[n] = '\0';
    return fits;
}

bool formatBounded(char* dst, std::size_t cap, const char* format, ...)
{
    if (!dst || cap == 0)
        return false;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(dst, cap, format, args);
    va_end(args);
    if (n < 0) {
        dst[0] = '\0';
        return false;
    }
    return static_cast<std::size_t>(n) < cap;
}

bool copyBoundedW(char16_t* dst, std::size_t cap, const char16_t* src)
{
    if (!dst || cap == 0)
        return false;
    std::size_t n = 0;
    if (src)
        while (src[n])
            ++n;
    bool fits = n < cap;
    if (!fits)
        n = cap - 1;
    for (std::size_t i = 0; i < n; ++i)
        dst[i] = src[i];
    dst[n] = 0;
    return fits;
}
