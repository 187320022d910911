// pipeserver NAME READYFILE REPORTFILE: a process of the user that offers
// \\.\pipe\NAME to an elevated run (handed "/log \\.\pipe\NAME") and tries
// to act as it: ImpersonateNamedPipeClient as soon as the run connects and
// again after each read, keeping the highest level it got. Writes READYFILE
// once the pipe exists; when the run lets go of the pipe (at most two
// minutes), writes "level=NAME bytes=N error=E probe=NAME" to REPORTFILE:
// the impersonation level (none, anonymous, identification, impersonation,
// delegation), the bytes the run wrote into the pipe, the last error of a
// failed impersonation, and the level the platform gives a client of its
// own that asked for identification only (Wine 8 ignores what a client
// asks: then the run's level shows nothing).
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

enum { kWaitMs = 120000 };

const char* levelName(int level)
{
    switch (level) {
    case SecurityAnonymous:
        return "anonymous";
    case SecurityIdentification:
        return "identification";
    case SecurityImpersonation:
        return "impersonation";
    case SecurityDelegation:
        return "delegation";
    default:
        return "none";
    }
}

// The level the thread got by impersonating the pipe's client, -1 for none.
int impersonate(HANDLE pipe, DWORD& error)
{
    if (!ImpersonateNamedPipeClient(pipe)) {
        error = GetLastError();
        return -1;
    }
    int level = -1;
    HANDLE token = nullptr;
    if (OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
        SECURITY_IMPERSONATION_LEVEL got = SecurityAnonymous;
        DWORD size = 0;
        if (GetTokenInformation(token, TokenImpersonationLevel, &got, sizeof got, &size))
            level = got;
        CloseHandle(token);
    } else {
        error = GetLastError();
    }
    RevertToSelf();
    return level;
}

bool waitIo(HANDLE pipe, OVERLAPPED& ov, DWORD& n)
{
    if (WaitForSingleObject(ov.hEvent, kWaitMs) != WAIT_OBJECT_0) {
        CancelIo(pipe);
        return false;
    }
    return GetOverlappedResult(pipe, &ov, &n, FALSE) != FALSE;
}

// The level a client that asked for SECURITY_IDENTIFICATION gives this
// process's own pipe server.
int probeIdentification(const std::string& name, DWORD& error)
{
    HANDLE server =
        CreateNamedPipeA(name.c_str(), PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE | PIPE_WAIT, 1, 4096, 4096, 0, nullptr);
    if (server == INVALID_HANDLE_VALUE)
        return -1;
    HANDLE client = CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
    int level = -1;
    if (client != INVALID_HANDLE_VALUE) {
        DWORD n = 0;
        char byte = 'x';
        WriteFile(client, &byte, 1, &n, nullptr);
        ReadFile(server, &byte, 1, &n, nullptr);
        level = impersonate(server, error);
        CloseHandle(client);
    }
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
                         PIPE_TYPE_BYTE | PIPE_WAIT, 1, 65536, 65536, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE)
        return 1;
    DWORD probeError = 0;
    const int probe = probeIdentification(name + "-probe", probeError);
    OVERLAPPED ov = {};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (FILE* ready = std::fopen(argv[2], "w"))
        std::fclose(ready);
    DWORD n = 0;
    bool connected = ConnectNamedPipe(pipe, &ov) || GetLastError() == ERROR_PIPE_CONNECTED ||
                     (GetLastError() == ERROR_IO_PENDING && waitIo(pipe, ov, n));
    int best = -1;
    DWORD error = 0;
    unsigned long long bytes = 0;
    if (connected) {
        best = impersonate(pipe, error);
        char buf[4096];
        for (;;) {
            ResetEvent(ov.hEvent);
            n = 0;
            bool read =
                ReadFile(pipe, buf, sizeof buf, &n, &ov) || (GetLastError() == ERROR_IO_PENDING && waitIo(pipe, ov, n));
            if (!read || n == 0)
                break;
            bytes += n;
            int level = impersonate(pipe, error);
            if (level > best)
                best = level;
        }
    }
    if (FILE* report = std::fopen(argv[3], "w")) {
        std::fprintf(report, "level=%s bytes=%llu error=%lu probe=%s\n", connected ? levelName(best) : "unconnected",
                     bytes, error, levelName(probe));
        std::fclose(report);
    }
    CloseHandle(pipe);
    return 0;
}
