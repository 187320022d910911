#include "products/IniFileReader.h"
#include "products/Profile.h"

// Away from Windows our own reader stands in for the platform's.
const IProfileReader& platformProfile()
{
    static const CIniFileReader reader;
    return reader;
}
