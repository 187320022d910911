// holdmutex READYFILE STOPFILE: holds Veldrun's single-instance mutex, as a
// running instance would, until STOPFILE exists (at most two minutes).
// Writes READYFILE once the mutex exists.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    HANDLE mutex = CreateMutexA(nullptr, FALSE, "{BAF5C721-F6F1-4971-9B35-3902F130C6C3}");
    if (!mutex)
        return 1;
    if (FILE* ready = std::fopen(argv[1], "w"))
        std::fclose(ready);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(mutex);
    return 0;
}
