// The patch's environment: the run's own with PATH, TEMP, TMP and ComSpec
// replaced whatever their case, every other entry kept, sorted as a block.
#include "update/PatchEnvironment.h"

#include <gtest/gtest.h>

namespace {

TEST(PatchEnvironment, SystemFoldersAndTheRunsTempOnly)
{
    const std::vector<std::wstring> current = {
        L"windir=C:\\W", L"Path=C:\\me\\bin;C:\\W",  L"tmp=C:\\me\\link", L"TEMP=C:\\me\\link",
        L"=C:=Z:\\pkg",  L"COMSPEC=C:\\me\\cmd.exe", L"PATHEXT=.COM",     L"LOG=x=y"};
    const wchar_t want[] =
        L"=C:=Z:\\pkg\0ComSpec=C:\\W\\System32\\cmd.exe\0LOG=x=y\0"
        L"PATH=C:\\W\\System32;C:\\W;C:\\W\\System32\\Wbem;C:\\W\\System32\\WindowsPowerShell\\v1.0\0"
        L"PATHEXT=.COM\0TEMP=C:\\W\\Temp\\vdr0\\tmp\0TMP=C:\\W\\Temp\\vdr0\\tmp\0windir=C:\\W\0";
    EXPECT_EQ(std::wstring(want, sizeof want / sizeof want[0]),
              environmentBlock(patchEnvironment(current, L"C:\\W", L"C:\\W\\Temp\\vdr0\\tmp")));
}

} // namespace
