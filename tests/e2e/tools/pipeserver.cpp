// pipeserver NAME READYFILE REPORTFILE: a process of the user offering
// \\.\pipe\NAME to an elevated run ("/log \\.\pipe\NAME") and trying to act
// as it: ImpersonateNamedPipeClient on connection and after each read,
// keeping the highest level got. Writes READYFILE once the pipe exists and,
// when the run lets go (at most two minutes), "level=L bytes=N probe=P" to
// REPORTFILE: the level (none, anonymous, identification, impersonation,
// delegation), the bytes the run wrote, and the level the platform gives a
// client of this process that asked for identification only (Wine 8
// ignores what a client asks: then the run's level shows nothing).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

const char* const kLevels[] = {"anonymous", "identification", "impersonation", "delegation"};

// The level got by impersonating the pipe's client, -1 for none.
int impersonate(HANDLE pipe)
{
    if (!ImpersonateNamedPipeClient(pipe))
        return -1;
    int level = -1;
    HANDLE token = nullptr;
    SECURITY_IMPERSONATION_LEVEL got = SecurityAnonymous;
    DWORD size = 0;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        if (GetTokenInformation(token, TokenImpersonationLevel, &got, sizeof got, &size))
            level = got;
        CloseHandle(token);
    }
    RevertToSelf();
    return level;
}

bool waitIo(HANDLE pipe, OVERLAPPED& ov, DWORD& n)
{
    if (WaitForSingleObject(ov.hEvent, 120000) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        return false;
    }
    return GetOverlappedResult(pipe, &ov, &n, FALSE) != FALSE;
}

int probeIdentification(const std::string& name)
{
    HANDLE server = CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE, 1, 4096, 4096, 0, nullptr);
    HANDLE client = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    int level = -1;
    DWORD n = 0;
    char byte = 'x';
    if (server != INVALID_HANDLE_VALUE && client != INVALID_HANDLE_VALUE && WriteFile(client, &byte, 1, &n, nullptr) &&
        ReadFile(server, &byte, 1, &n, nullptr))
        level = impersonate(server);
    CloseHandle(client);
    CloseHandle(server);
    return level;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    std::string name = std::string("\\\\.\\pipe\\") + argv[1];
    HANDLE pipe =
        CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                         PIPE_TYPE_BYTE, 1, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    const int probe = probeIdentification(name + "-probe");
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    DWORD n = 0;
    bool connected = ConnectNamedPipe(pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED ||
                     (GetLastError() == ERROR_IO_PENDING && waitIo(pipe, ov, n));
    int best = connected ? impersonate(pipe) : -1;
    unsigned long long bytes = 0;
    char buf[4096];
    while (connected) {
        ResetEvent(ov.hEvent);
        n = 0;
        if (!(ReadFile(pipe, buf, sizeof buf, &n, &ov) ||
              (GetLastError() == ERROR_IO_PENDING && waitIo(pipe, ov, n))) ||
            n == 0)
            break;
        bytes += n;
        int level = impersonate(pipe);
        best = level > best ? level : best;
    }
    if (FILE* report = std::fopen(argv[3], "w")) {
        std::fprintf(report, "level=%s bytes=%llu probe=%s\n",
                     !connected ? "unconnected"
                     : best < 0 ? "none"
                                : kLevels[best],
                     bytes, probe < 0 ? "none" : kLevels[probe]);
        std::fclose(report);
    }
    CloseHandle(pipe);
    return 0;
}
