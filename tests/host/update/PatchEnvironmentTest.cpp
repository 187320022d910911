// The patch's environment: the run's own with PATH, TEMP, TMP and ComSpec
// replaced whatever their case, every other entry kept, sorted as a block.
#include "update/PatchEnvironment.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::wstring block(const std::vector<std::wstring>& entries)
{
    std::wstring text;
    for (const std::wstring& e : entries)
        text += e + L'\0';
    return text + L'\0';
}

TEST(PatchEnvironment, SystemFoldersAndTheRunsTempOnly)
{
    const std::wstring sys = L"C:\\windows\\System32";
    const std::wstring comSpec = L"ComSpec=" + sys + L"\\cmd.exe";
    const std::wstring path = L"PATH=" + sys + L";C:\\windows;" + sys + L"\\Wbem;" + sys + L"\\WindowsPowerShell\\v1.0";
    const std::wstring temp = L"TEMP=C:\\windows\\Temp\\vdr0\\tmp";
    const std::wstring tmp = L"TMP=C:\\windows\\Temp\\vdr0\\tmp";
    struct Case {
        std::vector<std::wstring> current;
        std::vector<std::wstring> want; // sorted by name without regard to case
    };
    const Case cases[] = {
        {{L"windir=C:\\windows", L"Path=C:\\Users\\me\\bin;C:\\windows", L"tmp=C:\\Users\\me\\link",
          L"TEMP=C:\\Users\\me\\link", L"=C:=Z:\\pkg", L"COMSPEC=C:\\Users\\me\\cmd.exe", L"PATHEXT=.COM;.EXE",
          L"VELDRUN_FAKEPATCH_LOG=x=y"},
         {L"=C:=Z:\\pkg", comSpec, path, L"PATHEXT=.COM;.EXE", temp, tmp, L"VELDRUN_FAKEPATCH_LOG=x=y",
          L"windir=C:\\windows"}},
        {{L"A=1"}, {L"A=1", comSpec, path, temp, tmp}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(block(c.want),
                  environmentBlock(patchEnvironment(c.current, L"C:\\windows", L"C:\\windows\\Temp\\vdr0\\tmp")));
}

} // namespace
