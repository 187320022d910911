#pragma once
// The attack stand-ins' folder walk: every file below `dir`, down to
// `depth` folders further, handed to fn(path, name, depth left).
#include <windows.h>

#include <string>

template <class Fn> void walkFiles(const std::string& dir, int depth, Fn&& fn)
{
    WIN32_FIND_DATAA fd;
    HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..")
            continue;
        const std::string path = dir + "\\" + name;
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            fn(path, name, depth);
        else if (depth > 0)
            walkFiles(path, depth - 1, fn);
    } while (FindNextFileA(find, &fd));
    FindClose(find);
}
