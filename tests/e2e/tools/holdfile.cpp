// holdfile FILE READYFILE STOPFILE: keeps FILE open for reading, letting
// others read it but not write it, as another process of the user may,
// until STOPFILE exists (at most two minutes). Writes READYFILE once held.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return 1;
    if (FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(file);
    return 0;
}
