#include "products/TextCompare.h"

#include "common/TextHelpers.h"

bool textEqualNoCase(const char* a, const char* b)
{
    for (; asciiLower(*a) == asciiLower(*b); ++a, ++b)
        if (*a == '\0')
            return true;
    return false;
}
