// swapstart PACKAGE OTHER [ARGS]: starts PACKAGE suspended (the loader has
// mapped it, none of its code has run), renames it to PACKAGE.old, copies
// OTHER under its name, lets it run and ends with its exit status (255 when
// a step failed), as a process of the user that swaps a started package.
#include <windows.h>

#include <string>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 255;
    std::string cmd = std::string("\"") + argv[1] + "\"";
    for (int i = 3; i < argc; ++i)
        cmd += std::string(" ") + argv[i];
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessA(argv[1], &cmd[0], nullptr, nullptr, FALSE, CREATE_SUSPENDED, nullptr, nullptr, &si, &pi))
        return 255;
    std::string old = std::string(argv[1]) + ".old";
    bool swapped = MoveFileA(argv[1], old.c_str()) && CopyFileA(argv[2], argv[1], FALSE);
    ResumeThread(pi.hThread);
    WaitForSingleObject(pi.hProcess, 120000);
    DWORD code = 255;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return swapped ? static_cast<int>(code) : 255;
}
