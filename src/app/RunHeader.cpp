#include "app/RunHeader.h"

std::string runHeaderLine(const RunHeaderFacts& f)
{
    std::string line = "[Veldrun] Run: Veldrun " + f.version + "; package \"" + f.package + "\", SHA-256 " +
                       (f.packageSha256.empty() ? "unreadable" : f.packageSha256) + ", " +
                       (f.signer.empty() ? "unsigned" : "certificate " + f.signer) + "; SRNo " +
                       (f.srNo.empty() ? "unknown" : f.srNo) + "; command line: " + f.commandLine + "; user " +
                       (f.user.empty() ? "unknown" : f.user) + ", " +
                       (f.elevated < 0 ? "elevation unknown"
                        : f.elevated   ? "elevated"
                                       : "not elevated") +
                       "; Windows " + (f.windows.empty() ? "unknown" : f.windows);
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = '?';
    return line + '\n';
}
