#pragma once
// The environment the patch starts with. The run is elevated but its
// environment is the user's: HKCU\Environment can name any folder as PATH,
// TEMP or TMP, or another program as ComSpec, and a patch that loads a DLL
// by name, writes a file to its temporary directory or runs a command would
// then load, run or write what the user put there with the run's rights.
// So the patch gets the run's environment with these replaced:
//  - PATH: the system's folders only, under the Windows folder the system
//    names: System32, the Windows folder itself, System32\Wbem and
//    System32\WindowsPowerShell\v1.0 (Windows' own default PATH);
//  - TEMP and TMP: the run's protected temporary folder;
//  - ComSpec: System32\cmd.exe.
// Everything else is kept as it is. Portable.

#include <string>
#include <vector>

// The folder of the run's folder that is the patch's TEMP and TMP.
constexpr wchar_t kPatchTempName[] = L"tmp";

// The patch's entries ("NAME=value") from the run's own entries; names are
// matched without regard to ASCII case, a replaced name keeps no other
// entry. windowsDir and tempDir are folder paths without a final backslash.
std::vector<std::wstring> patchEnvironment(const std::vector<std::wstring>& current, const std::wstring& windowsDir,
                                           const std::wstring& tempDir);

// The entries as an environment block: sorted by name without regard to
// ASCII case (as the platform keeps one), each ended by a zero, one more
// zero at the end.
std::wstring environmentBlock(std::vector<std::wstring> entries);
