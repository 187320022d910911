// rewriter DIR INIFILE READYFILE STOPFILE: what a process of the user can do
// to a run that reads its files by name. Until STOPFILE exists (at most five
// minutes) it looks through DIR and the folders in it, over and over, and
// writes over every "patch.ini" it can open for writing (with the bytes of
// INIFILE) and every ".exe" in DIR itself it can open for writing (with as
// many bytes of "s"). Windows keeps it out of a folder whose access list
// denies it; Wine enforces no access lists, so it leaves the ".exe" files of
// DIR's folders alone, as it would have to on Windows. Sharing modes, which
// Wine enforces, are what keeps it from a held "patch.ini". Writes READYFILE once it has started; at its end, prints
// the number of files it wrote over to standard output.
#include "FolderWalk.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
std::vector<char> g_ini;
long g_written = 0;

bool endsWith(const std::string& s, const char* tail)
{
    std::string t = tail;
    return s.size() >= t.size() && _stricmp(s.c_str() + s.size() - t.size(), t.c_str()) == 0;
}

void overwrite(const std::string& path, bool isIni)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size = {};
    GetFileSizeEx(h, &size);
    std::vector<char> bytes = g_ini;
    if (!isIni)
        bytes.assign(static_cast<std::size_t>(size.QuadPart), 's');
    DWORD n = 0;
    if (!bytes.empty() && WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &n, nullptr) && n > 0) {
        SetEndOfFile(h);
        ++g_written;
    }
    CloseHandle(h);
}

void sweep(const std::string& dir, int depth)
{
    walkFiles(dir, depth, [](const std::string& path, const std::string& name, int left) {
        if (_stricmp(name.c_str(), "patch.ini") == 0)
            overwrite(path, true);
        else if (endsWith(name, ".exe") && left > 0)
            overwrite(path, false);
    });
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 5)
        return 2;
    if (FILE* f = std::fopen(argv[2], "rb")) {
        char buf[4096];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            g_ini.insert(g_ini.end(), buf, buf + n);
        std::fclose(f);
    }
    if (FILE* ready = std::fopen(argv[3], "w"))
        std::fclose(ready);
    DWORD end = GetTickCount() + 300000;
    while (GetFileAttributesA(argv[4]) == INVALID_FILE_ATTRIBUTES && GetTickCount() < end) {
        sweep(argv[1], 1);
        Sleep(1);
    }
    std::printf("%ld\n", g_written);
    return 0;
}
