// The package's platform calls on Windows: the own module path, path
// existence and cutting a file back.
#include "package/PackagePlatform.h"
#include "package/PatchPackage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string tempDir()
{
    char dir[MAX_PATH] = {};
    GetTempPathA(sizeof dir, dir);
    return dir;
}

TEST(PackagePlatform, OwnModulePathNamesTheRunningProgram)
{
    char path[260] = {};
    ASSERT_TRUE(packageOwnModulePath(path, sizeof path));
    std::string p = path;
    EXPECT_NE(std::string::npos, p.find("package_platform_tests.exe")) << p;
    EXPECT_TRUE(packagePathExists(path));

    char tiny[8] = "xxxxxxx";
    EXPECT_FALSE(packageOwnModulePath(tiny, sizeof tiny));
    EXPECT_STREQ("", tiny);

    // The test program carries no package marker.
    CPatchPackage own;
    EXPECT_STREQ(path, own.packagePath);
    EXPECT_EQ(0, own.checkSignature());
}

TEST(PackagePlatform, PathExistsForFilesAndDirectories)
{
    std::string dir = tempDir();
    EXPECT_TRUE(packagePathExists(dir.c_str()));
    EXPECT_FALSE(packagePathExists((dir + "vdr-no-such-entry").c_str()));
    EXPECT_FALSE(packagePathExists(nullptr));
}

TEST(PackagePlatform, TruncateCutsAFileBack)
{
    std::string file = tempDir() + "vdr-truncate.bin";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("0123456789", f);
    std::fclose(f);
    EXPECT_TRUE(packageTruncateFile(file.c_str(), 4));
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    ASSERT_TRUE(GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data));
    EXPECT_EQ(4u, data.nFileSizeLow);
    DeleteFileA(file.c_str());
    EXPECT_FALSE(packageTruncateFile(file.c_str(), 0));
}

} // namespace
