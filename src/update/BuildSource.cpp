#include "update/BuildSource.h"

#include "common/FixedBuf.h"
#include "products/PatchInfoKeys.h"
#include "update/PatchPin.h"

namespace {

std::string readText(const IProfileReader& profile, const char* key, const char* iniPath)
{
    char value[kMaxText] = {};
    profile.getString(kSRInfoSection, key, "", value, sizeof value, iniPath);
    return value;
}

const char* const kNoPackageSigner = "Signer=package, but the package carries no valid signature";

} // namespace

BuildSource readBuildSource(const IProfileReader& profile, const char* iniPath)
{
    BuildSource source;
    RunSource& run = source.run;
    run.server = readText(profile, kURLKey, iniPath);
    run.srNo = readText(profile, kSRNoKey, iniPath);
    run.anyPin = hasAnyPin(profile, iniPath);
    SignerPolicy& signer = source.signer;
    signer = readSignerPolicy(profile, iniPath);
    run.signerRequired = signer.kind != kSignerKeyNone;
    if (signer.kind == kSignerKeyMalformed)
        run.signerProblem = "the Signer key is neither \"package\" nor 64 hex digits";
    else if (signer.kind == kSignerKeyPackage)
        run.signerProblem = kNoPackageSigner;
    run.stallSeconds = profile.getInt(kSRInfoSection, kStallSecondsKey, 0, iniPath);
    run.downloadSeconds = profile.getInt(kSRInfoSection, kDownloadSecondsKey, 0, iniPath);
    run.silentArgs = readText(profile, kSilentArgsKey, iniPath);
    run.args = readText(profile, kArgsKey, iniPath);
    return source;
}

void addPackageSigner(BuildSource& source, const PackageSignerReader& packageSigner)
{
    SignerPolicy& signer = source.signer;
    if (signer.kind != kSignerKeyPackage)
        return;
    signer.bExpectedKnown = packageSigner && packageSigner(signer.expected);
    source.run.signerProblem = signer.bExpectedKnown ? "" : kNoPackageSigner;
}
