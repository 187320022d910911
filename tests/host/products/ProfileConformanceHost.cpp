#include "ProfileConformance.h"

#include "products/IniFileReader.h"

const IProfileReader& readerUnderTest()
{
    static const CIniFileReader reader;
    return reader;
}
