// Starts a program the way the update run starts a fresh download, N times,
// and counts how the starts ended: each time the program is copied to a
// new file in the temporary directory, held open with read sharing only,
// started with CreateProcessA (hidden, as a silent run does), and waited
// for. Prints one line per failed start and then
//   starts=N failed=F errors=<code>:<count>,...
// and exits 0 when every start succeeded, 1 otherwise.
//   startprobe PROGRAM COUNT [nohold]
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

int main(int argc, char** argv)
{
    if (argc < 3)
        return 2;
    const char* program = argv[1];
    int count = std::atoi(argv[2]);
    bool hold = argc < 4 || std::strcmp(argv[3], "nohold") != 0;
    char tempDir[MAX_PATH] = {};
    DWORD n = GetTempPathA(sizeof tempDir, tempDir);
    if (n == 0 || n >= sizeof tempDir)
        return 2;
    std::map<DWORD, int> errors;
    int failed = 0;
    for (int i = 0; i < count; ++i) {
        char path[MAX_PATH] = {};
        std::snprintf(path, sizeof path, "%sstartprobe-%lu-%d.exe", tempDir, GetCurrentProcessId(), i);
        if (!CopyFileA(program, path, FALSE)) {
            std::printf("copy %d failed: %lu\n", i, GetLastError());
            return 2;
        }
        HANDLE held = INVALID_HANDLE_VALUE;
        if (hold)
            held = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
        char commandLine[2 * MAX_PATH] = {};
        std::snprintf(commandLine, sizeof commandLine, "\"%s\" /s", path);
        STARTUPINFOA si = {};
        si.cb = sizeof si;
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = SW_HIDE;
        PROCESS_INFORMATION pi = {};
        BOOL started = CreateProcessA(nullptr, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi);
        DWORD error = started ? 0 : GetLastError();
        if (held != INVALID_HANDLE_VALUE)
            CloseHandle(held);
        if (started) {
            WaitForSingleObject(pi.hProcess, INFINITE);
            CloseHandle(pi.hThread);
            CloseHandle(pi.hProcess);
        } else {
            ++failed;
            ++errors[error];
            std::printf("start %d failed: error %lu\n", i, error);
            std::fflush(stdout);
        }
        DeleteFileA(path);
    }
    std::printf("starts=%d failed=%d errors=", count, failed);
    const char* sep = "";
    for (const auto& e : errors) {
        std::printf("%s%lu:%d", sep, e.first, e.second);
        sep = ",";
    }
    std::printf("\n");
    return failed ? 1 : 0;
}
