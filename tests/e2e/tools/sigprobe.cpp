// The signer check alone, without a run: holds each FILE as the run holds a
// download and prints the verdict of checkPatchSigner for the Signer value
// given (64 hex digits). With NAME=FILE, FILE is held and NAME given as its
// path: what is checked must be the held file. Usage: sigprobe SIGNER [NAME=]FILE...
#include "common/FileHash.h"
#include "update/PatchSigner.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::puts("usage: sigprobe SIGNER FILE...");
        return 2;
    }
    SignerPolicy policy;
    policy.kind = readSignerKey(argv[1], policy.expected);
    policy.bExpectedKnown = policy.kind == kSignerKeyDigest;
    for (int i = 2; i < argc; ++i) {
        std::string name = argv[i];
        std::size_t eq = name.find('=');
        std::string file = eq == std::string::npos ? name : name.substr(eq + 1);
        name = name.substr(0, eq);
        CHeldFile held;
        std::string subject;
        int verdict = held.open(file.c_str()) ? checkPatchSigner(policy, held, name.c_str(), &subject) : -1;
        std::printf("%s verdict=%d %s\n", argv[i], verdict, signerVerdictText(verdict, subject).c_str());
    }
    return 0;
}
