#pragma once
// The window helpers' progress marks: with VELDRUN_WINCTL_MARK naming a
// file, `toolMark` appends one word to it, so that a test can wait for the
// helper to reach a point (see harness.Watcher).
#include <windows.h>

#include <cstdio>

inline void toolMark(const char* what)
{
    char path[MAX_PATH] = {};
    DWORD n = GetEnvironmentVariableA("VELDRUN_WINCTL_MARK", path, sizeof path);
    if (n == 0 || n >= sizeof path)
        return;
    if (FILE* f = std::fopen(path, "ab")) {
        std::fprintf(f, "%s\n", what);
        std::fclose(f);
    }
}
