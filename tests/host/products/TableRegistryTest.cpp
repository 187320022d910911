#include "products/RegKeyHolder.h"
#include "products/TableRegistry.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TableRegistry, PathsAndNamesIgnoreCaseAndParentsExist)
{
    CTableRegistry registry;
    registry.setString("Software\\Ombrel\\DiscStudio\\UserReg", "Prod_Name", "Ombrel Disc Studio");
    for (const char* path : {"SOFTWARE\\ombrel\\DiscStudio\\USERREG", "Software\\Ombrel", "software"}) {
        CRegKeyHolder key(registry, path);
        EXPECT_TRUE(key.isOpen()) << path;
    }
    for (const char* path :
         {"Software\\Ombrel\\Disc", "Software\\Ombrel\\DiscStudio\\UserReg\\More", "\\Software\\Ombrel", ""}) {
        CRegKeyHolder key(registry, path);
        EXPECT_FALSE(key.isOpen()) << path;
    }
    CRegKeyHolder key(registry, "software\\ombrel\\discstudio\\userreg");
    char buffer[260] = {};
    EXPECT_TRUE(key.queryString("PROD_NAME", buffer, sizeof buffer));
    EXPECT_STREQ(buffer, "Ombrel Disc Studio");
}

TEST(TableRegistry, UnreadableValueLeavesTheBufferUntouched)
{
    CTableRegistry registry;
    registry.setString("K", "Long", std::string(260, 'x'));
    registry.setString("K", "Fits", std::string(259, 'x'));
    registry.setOther("K", "Number");
    CRegKeyHolder key(registry, "K");
    for (const char* name : {"Long", "Number", "Absent"}) {
        char buffer[260] = "keep";
        EXPECT_FALSE(key.queryString(name, buffer, sizeof buffer)) << name;
        EXPECT_STREQ(buffer, "keep") << name;
    }
    char buffer[260] = {};
    EXPECT_TRUE(key.queryString("Fits", buffer, sizeof buffer));
    EXPECT_EQ(std::string(buffer), std::string(259, 'x'));
}

TEST(TableRegistry, HolderClosesOnceAndRemovedKeysAreGone)
{
    CTableRegistry registry;
    registry.addKey("A\\B\\C");
    {
        CRegKeyHolder key(registry, "A\\B");
        EXPECT_EQ(registry.openCount(), 1);
        CRegKeyHolder moved(std::move(key));
        key.close();
        EXPECT_EQ(registry.openCount(), 1);
        moved.close();
        moved.close();
        EXPECT_EQ(registry.openCount(), 0);
    }
    EXPECT_EQ(registry.openCount(), 0);
    registry.removeKey("a\\b");
    EXPECT_FALSE(CRegKeyHolder(registry, "A\\B\\C").isOpen());
    EXPECT_FALSE(CRegKeyHolder(registry, "A\\B").isOpen());
    EXPECT_TRUE(CRegKeyHolder(registry, "A").isOpen());
}

} // namespace
