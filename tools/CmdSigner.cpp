// vdrpack signer: which certificate signed a Windows program (a patch
// build or a package), as the program compares it for [SRInfo] Signer.
#include "ToolCommands.h"

#include "ToolArgs.h"
#include "ToolFiles.h"
#include "ToolJson.h"

#include "package/Authenticode.h"

namespace {

const char kUsage[] = "usage: vdrpack signer FILE.exe [--json]\n";
const char kHelp[] = "usage: vdrpack signer FILE.exe [--json]\n"
                     "\n"
                     "Prints the SHA-256 and the subject of the certificate that signed FILE.exe (the signer's own\n"
                     "certificate in its Authenticode signature), and the Signer line that names it in a patch\n"
                     "information file. It reads the certificate only: whether the signature is valid is checked\n"
                     "by the program, through Windows, before it starts a patch. --json prints a JSON object.\n"
                     "Exit status 4 when the file carries no signature, 5 when its certificate table cannot be\n"
                     "read.\n";

} // namespace

int runSigner(const std::vector<std::string>& args, ToolOutput& io)
{
    CToolArgs a;
    std::string bytes;
    int status = beginFileCommand(a, args, io, "signer", kUsage, kHelp, "FILE.exe", bytes);
    if (status >= 0)
        return status;
    const std::string& path = a.positional()[0];
    bool json = a.has("--json");

    CMemorySource source(bytes.data(), bytes.size());
    SignerCertificate cert;
    int read = readProgramSigner(source, &cert);
    if (read == kSignerMalformed)
        return toolError(io, kToolMalformed, path, signerReadText(read));
    Json j = jsonDocument("signer");
    j["file"] = jsonText(path);
    if (read != kSignerFound) {
        j["signed"] = false;
        io.out += json ? jsonDump(j) : path + ": not signed (no certificate table)\n";
        io.err += "vdrpack: " + path + ": is not signed\n";
        return kToolNotPackage;
    }
    char hex[kSha256HexSize];
    sha256Hex(cert.sha256, hex);
    j["signed"] = true;
    j["sha256"] = hex;
    j["subject"] = cert.subject;
    j["certificateSize"] = cert.der.size();
    if (json) {
        io.out += jsonDump(j);
    } else {
        io.out += path + ": signed by " + cert.subject + "\n";
        io.out += std::string("  certificate sha256: ") + hex + "\n";
        io.out += std::string("  [SRInfo] Signer=") + hex + "\n";
    }
    return kToolOk;
}
