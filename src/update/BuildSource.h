#pragma once
// Where the chosen build comes from and how it is to be started: the
// [SRInfo] keys the run reads once its build is chosen (URL, SRNo, the pins'
// presence, Signer, StallSeconds, DownloadSeconds, SilentArgs, Args), read
// through the profile seam into a value that owns its texts. Portable.

#include "products/Profile.h"
#include "update/PatchSigner.h"

#include <functional>
#include <string>

// Where the build comes from, as [SRInfo] says (readBuildSource).
struct RunSource {
    std::string server;          // [SRInfo] URL
    std::string srNo;            // [SRInfo] SRNo
    bool anyPin = false;         // [SRInfo] carries a SHA256 key: only a matching download is started
    bool signerRequired = false; // [SRInfo] Signer: only a patch signed as it asks is started
    std::string signerProblem;   // why that signer cannot be checked at all (malformed key, unsigned
                                 // package): the patch error before any download
    int stallSeconds = 0;        // [SRInfo] StallSeconds as the reader reads an integer (0: none)
    int downloadSeconds = 0;     // [SRInfo] DownloadSeconds as read (0: none)
    std::string silentArgs;      // [SRInfo] SilentArgs: the patch's arguments in a silent run ("" : "/s")
    std::string args;            // [SRInfo] Args: its arguments in a visible run
};

struct BuildSource {
    RunSource run;       // what the controller is told (onBuildChosen)
    SignerPolicy signer; // the Signer key, with the package's own certificate for "package" when known
};

// Reads the certificate the running package was signed with into the
// digest; false when it carries no valid signature (or none is held).
using PackageSignerReader = std::function<bool(unsigned char digest[kSha256Size])>;

// Reads [SRInfo] of the file at iniPath. A malformed Signer key becomes the
// source's signerProblem; so does Signer=package until addPackageSigner
// has found the package's certificate.
BuildSource readBuildSource(const IProfileReader& profile, const char* iniPath);

// For Signer=package: asks packageSigner for the package's own certificate
// (nothing else asks it) and clears the problem once it is known.
void addPackageSigner(BuildSource& source, const PackageSignerReader& packageSigner);
