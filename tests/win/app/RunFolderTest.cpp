// The run's own folder: a fresh name each time under the system's
// temporary folder, the access list read back as the platform stores it,
// held against renaming, removed with its files and folders.
#include "app/RunFolder.h"

#include <windows.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Where runs make their folders: Windows\SystemTemp, else Windows\Temp.
std::string systemTemp()
{
    char windows[MAX_PATH] = {};
    GetSystemWindowsDirectoryA(windows, sizeof windows);
    std::string dir = std::string(windows) + "\\SystemTemp\\";
    if (GetFileAttributesA(dir.c_str()) == INVALID_FILE_ATTRIBUTES)
        dir = std::string(windows) + "\\Temp\\";
    return dir;
}

void writeFile(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, h) << path;
    CloseHandle(h);
}

std::string daclText(const char* path)
{
    char buf[4096] = {};
    DWORD need = 0;
    auto* sd = reinterpret_cast<PSECURITY_DESCRIPTOR>(buf);
    if (!GetFileSecurityA(path, DACL_SECURITY_INFORMATION, sd, sizeof buf, &need))
        return "unreadable";
    LPSTR text = nullptr;
    if (!ConvertSecurityDescriptorToStringSecurityDescriptorA(sd, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text,
                                                              nullptr))
        return "unconvertible";
    std::string result = text;
    LocalFree(text);
    return result;
}

TEST(RunFolder, FreshProtectedHeldAndRemovedWithItsFiles)
{
    CRunFolder first;
    CRunFolder second;
    ASSERT_EQ(0u, first.create());
    ASSERT_EQ(0u, second.create());
    std::string path = first.path();
    EXPECT_NE(path, second.path());
    EXPECT_EQ(0, _strnicmp(systemTemp().c_str(), path.c_str(), systemTemp().size())) << path;
    EXPECT_EQ(systemTemp().size() + 20, path.size()) << path;
    EXPECT_EQ('\\', path.back());
    // Windows stores the list as given. Wine keeps only Unix permission
    // bits, made from the list: nothing for others, so the list it reads
    // back has no entry for Everyone, which a plain folder's has.
    std::string dacl = daclText(path.c_str());
    char userTemp[MAX_PATH] = {};
    GetTempPathA(sizeof userTemp, userTemp);
    std::string plain = std::string(userTemp) + "vdr-plain-folder";
    ASSERT_TRUE(CreateDirectoryA(plain.c_str(), nullptr));
    std::string plainDacl = daclText(plain.c_str());
    RemoveDirectoryA(plain.c_str());
    if (dacl != kRunFolderSddl) {
        EXPECT_EQ(std::string::npos, dacl.find(";;;WD)")) << dacl;
        EXPECT_NE(std::string::npos, plainDacl.find(";;;WD)")) << plainDacl;
    }

    EXPECT_EQ(dacl, daclText((path + "tmp").c_str()));
    // What a run and its patch leave: files, and folders with files in the
    // patch's temporary directory.
    writeFile(path + "patch.ini");
    ASSERT_TRUE(CreateDirectoryA((path + "tmp\\setup").c_str(), nullptr));
    writeFile(path + "tmp\\setup\\data.cab");
    std::string dir = path.substr(0, path.size() - 1);
    std::string moved = dir + "-moved";
    EXPECT_FALSE(MoveFileA(dir.c_str(), moved.c_str())) << "renamed under the run";

    EXPECT_EQ(0, first.remove());
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(dir.c_str()));
    EXPECT_STREQ("", first.path());
    EXPECT_EQ(0, second.remove());
}

TEST(RunFolder, ParentMissingMakesNothing)
{
    CRunFolder folder;
    EXPECT_NE(0u, folder.create(L"C:\\no-such-directory"));
    EXPECT_STREQ("", folder.path());
}

} // namespace
