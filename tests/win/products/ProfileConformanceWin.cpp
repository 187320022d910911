#include "ProfileConformance.h"

// Under Wine the table runs against the platform's own reader.
const IProfileReader& readerUnderTest()
{
    return platformProfile();
}
