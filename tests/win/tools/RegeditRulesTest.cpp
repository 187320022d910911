// Each rule of the export reader's table, imported by the registry editor
// itself (regedit /s in this prefix) and read back from the registry as the
// program reads it: the registry must hold what the reader read.
#include "RegExportRules.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

#include <set>
#include <windows.h>

namespace {

// The registry below kRuleBase in the table's notation: each key below it
// (folded) and each value, a string when the program's narrow read gives
// one (REG_SZ or REG_EXPAND_SZ, stored with its terminator).
void dumpKey(HKEY key, const std::string& rel, std::set<std::string>& lines)
{
    if (!rel.empty())
        lines.insert("[" + rel + "]");
    for (DWORD i = 0;; ++i) {
        char name[16384];
        BYTE data[16384];
        DWORD nameLen = sizeof name, type = 0, size = sizeof data;
        if (RegEnumValueA(key, i, name, &nameLen, nullptr, &type, data, &size) != ERROR_SUCCESS)
            break;
        bool text = (type == REG_SZ || type == REG_EXPAND_SZ) && size > 0 && data[size - 1] == 0;
        lines.insert(rel + " \"" + name + "\" " + (text ? std::string(reinterpret_cast<char*>(data)) : "-"));
    }
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD nameLen = sizeof name;
        if (RegEnumKeyExA(key, i, name, &nameLen, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS)
            break;
        HKEY sub;
        if (RegOpenKeyExA(key, name, 0, KEY_READ, &sub) != ERROR_SUCCESS)
            continue;
        std::string folded = name;
        for (char& c : folded)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        dumpKey(sub, rel.empty() ? folded : rel + "\\" + folded, lines);
        RegCloseKey(sub);
    }
}

std::vector<std::string> dumpRegistry()
{
    std::set<std::string> lines;
    HKEY base;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kRuleBase, 0, KEY_READ, &base) == ERROR_SUCCESS) {
        dumpKey(base, "", lines);
        RegCloseKey(base);
    }
    return std::vector<std::string>(lines.begin(), lines.end());
}

// Runs regedit /s on the file and waits for it (bounded); its exit code.
DWORD importFile(const std::string& path)
{
    std::string cmd = "regedit.exe /s \"" + path + "\"";
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return static_cast<DWORD>(-1);
    DWORD code = static_cast<DWORD>(-2);
    if (WaitForSingleObject(pi.hProcess, 120000) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return code;
}

TEST(RegeditRules, TheRegistryEditorImportsWhatTheReaderReads)
{
    TempDir dir;
    int compared = 0;
    for (const RegRule& rule : regRules()) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRuleBase);
        std::string file = dir.write("rule.reg", ruleFile(rule));
        CRegExport reg;
        EXPECT_EQ(reg.parse(ruleFile(rule)), rule.result) << rule.name;
        EXPECT_EQ(dumpExport(reg), sortedLines(rule.expect)) << rule.name;
        DWORD code = importFile(file);
        ASSERT_LT(code, 0x100u) << rule.name << ": regedit did not run or did not end";
        if (rule.wineDiffers) {
            std::printf("not compared with Wine's regedit: %s (%s)\n", rule.name, rule.wineDiffers);
            continue;
        }
        EXPECT_EQ(dumpRegistry(), sortedLines(rule.expect)) << rule.name;
        ++compared;
    }
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, kRuleBase);
    EXPECT_GT(compared, 0);
}

} // namespace
