#pragma once
// Where the chosen build comes from and how it is to be started: the
// [SRInfo] keys the run reads once its build is chosen (URL, SRNo, the pins'
// presence, Signer, StallSeconds, DownloadSeconds, SilentArgs, Args), read
// through the profile seam into a value that owns its texts. Portable.

#include "products/Profile.h"
#include "update/PatchSigner.h"
#include "update/UpdateRun.h"

#include <functional>

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
