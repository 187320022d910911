#include "ProfileConformance.h"

#include "TestFiles.h"
#include "products/HeldProfile.h"
#include "products/IniFileReader.h"

#include <gtest/gtest.h>

const IProfileReader& readerUnderTest()
{
    static const CIniFileReader reader;
    return reader;
}

// The run's reader answers from the bytes it holds, never from the file a
// call names (the table reaches its rules through CIniFileReader).
TEST(HeldProfile, ReadsItsBytesNeverTheFileNamed)
{
    TempDir dir;
    const std::string path = dir.write("patch.ini", "[SRInfo]\nURL=http://other.example\n");
    char url[260] = {};
    CHeldProfileReader("[SRInfo]\r\nURL=http://update.example\r\n")
        .getString("SRInfo", "URL", "", url, 260, path.c_str());
    EXPECT_STREQ("http://update.example", url);
}
