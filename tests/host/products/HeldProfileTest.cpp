// The run's reader of the patch information file answers from the bytes it
// was given, never from a file by the name a call carries. (Its reading
// rules are the conformance table's: CIniFileReader reads through it.)
#include "products/HeldProfile.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(HeldProfile, ReadsItsBytesNeverTheFileNamed)
{
    TempDir dir;
    const std::string path = dir.write("patch.ini", "[SRInfo]\nURL=http://other.example\nCount=9\n");
    const CHeldProfileReader held("\xEF\xBB\xBF[SRInfo]\r\nURL=http://update.example\r\n");
    const CHeldProfileReader nothing;
    char url[260] = {};
    held.getString("SRInfo", "URL", "", url, sizeof url, path.c_str());
    EXPECT_STREQ("http://update.example", url);
    EXPECT_EQ(5, held.getInt("SRInfo", "Count", 5, path.c_str()));
    nothing.getString("SRInfo", "URL", "none", url, sizeof url, path.c_str());
    EXPECT_STREQ("none", url);
}

} // namespace
