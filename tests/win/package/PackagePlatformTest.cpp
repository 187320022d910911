// The package's platform calls on Windows: the own module path, path
// existence, cutting a file back and the mapped view.
#include "package/PackagePlatform.h"
#include "package/PatchPackage.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
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

TEST(PackagePlatform, ViewMapsWholeFilesIncludingTheRunningProgram)
{
    std::string file = tempDir() + "vdr-view.bin";
    FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_TRUE(f);
    std::fputs("0123456789", f);
    std::fclose(f);
    {
        CPackageView view;
        ASSERT_TRUE(view.map(file.c_str()));
        ASSERT_EQ(10, view.size());
        EXPECT_EQ(0, std::memcmp(view.data(), "0123456789", 10));
    }
    // The view is gone: the file can be cut and removed again.
    EXPECT_TRUE(packageTruncateFile(file.c_str(), 0));
    CPackageView empty;
    EXPECT_FALSE(empty.map(file.c_str()));
    EXPECT_TRUE(DeleteFileA(file.c_str()));
    CPackageView missing;
    EXPECT_FALSE(missing.map(file.c_str()));

    // Update mode searches its own file, which the loader holds open.
    char own[260] = {};
    ASSERT_TRUE(packageOwnModulePath(own, sizeof own));
    CPackageView view;
    ASSERT_TRUE(view.map(own));
    EXPECT_EQ(0, std::memcmp(view.data(), "MZ", 2));
}

} // namespace
