#include "products/TextCompare.h"

#include <windows.h>

bool textEqualNoCase(const char* a, const char* b)
{
    return lstrcmpiA(a, b) == 0;
}
