// holdmutex [deny] READYFILE STOPFILE: holds Veldrun's single-instance
// mutex, as a running instance would, until STOPFILE exists (at most two
// minutes). With "deny" the mutex is made with an access list that denies
// everyone everything, as a process of the user squatting the name would.
// Writes READYFILE once the mutex exists.
#include <windows.h>
#include <sddl.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    bool deny = argc > 1 && std::strcmp(argv[1], "deny") == 0;
    if (deny) {
        --argc;
        ++argv;
    }
    if (argc < 3)
        return 2;
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, FALSE};
    if (deny && !ConvertStringSecurityDescriptorToSecurityDescriptorA("D:(D;;GA;;;WD)", SDDL_REVISION_1,
                                                                      &sa.lpSecurityDescriptor, nullptr))
        return 1;
    HANDLE mutex = CreateMutexA(deny ? &sa : nullptr, FALSE, "{BAF5C721-F6F1-4971-9B35-3902F130C6C3}");
    if (!mutex)
        return 1;
    if (FILE* ready = std::fopen(argv[1], "w"))
        std::fclose(ready);
    for (int i = 0; i < 1200 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    CloseHandle(mutex);
    return 0;
}
