#include "products/TextCompare.h"

#include "common/TextHelpers.h"

bool textEqualNoCase(const char* a, const char* b)
{
    return equalNoCaseAscii(a, b);
}
