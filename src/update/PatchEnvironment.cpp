#include "update/PatchEnvironment.h"

#include <algorithm>

namespace {

wchar_t folded(wchar_t c)
{
    return (c >= L'a' && c <= L'z') ? static_cast<wchar_t>(c - L'a' + L'A') : c;
}

// The entry's name: up to its first "=" after the first character (names
// such as "=C:" begin with one).
std::wstring nameOf(const std::wstring& entry)
{
    std::size_t eq = entry.find(L'=', 1);
    return entry.substr(0, eq == std::wstring::npos ? entry.size() : eq);
}

bool sameName(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](wchar_t x, wchar_t y) { return folded(x) == folded(y); });
}

bool nameBefore(const std::wstring& a, const std::wstring& b)
{
    const std::wstring x = nameOf(a);
    const std::wstring y = nameOf(b);
    return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(),
                                        [](wchar_t p, wchar_t q) { return folded(p) < folded(q); });
}

} // namespace

std::vector<std::wstring> patchEnvironment(const std::vector<std::wstring>& current, const std::wstring& windowsDir,
                                           const std::wstring& tempDir)
{
    const std::wstring system32 = windowsDir + L"\\System32";
    const std::vector<std::wstring> replaced = {
        L"PATH=" + system32 + L";" + windowsDir + L";" + system32 + L"\\Wbem;" + system32 +
            L"\\WindowsPowerShell\\v1.0",
        L"TEMP=" + tempDir,
        L"TMP=" + tempDir,
        L"ComSpec=" + system32 + L"\\cmd.exe",
    };
    std::vector<std::wstring> entries;
    for (const std::wstring& entry : current) {
        const std::wstring name = nameOf(entry);
        bool isReplaced = std::any_of(replaced.begin(), replaced.end(),
                                      [&name](const std::wstring& r) { return sameName(nameOf(r), name); });
        if (!entry.empty() && !isReplaced)
            entries.push_back(entry);
    }
    entries.insert(entries.end(), replaced.begin(), replaced.end());
    return entries;
}

std::wstring environmentBlock(std::vector<std::wstring> entries)
{
    std::stable_sort(entries.begin(), entries.end(), nameBefore);
    std::wstring block;
    for (const std::wstring& entry : entries) {
        block += entry;
        block += L'\0';
    }
    block += L'\0';
    return block;
}
