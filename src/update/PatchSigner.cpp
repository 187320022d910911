#include "update/PatchSigner.h"

#include "common/FixedBuf.h"
#include "common/TextHelpers.h"
#include "package/Authenticode.h"
#include "products/PatchInfoKeys.h"
#include "products/Profile.h"

#include <cstring>

namespace {
// WinVerifyTrust's results that mean "no signature to check".
const long kTrustNoSignatureResult = static_cast<long>(0x800B0100L);  // TRUST_E_NOSIGNATURE
const long kTrustSubjectFormUnknown = static_cast<long>(0x800B0003L); // TRUST_E_SUBJECT_FORM_UNKNOWN
} // namespace

int readSignerKey(const char* text, unsigned char digest[kSha256Size])
{
    std::string_view value = trimmedView(text ? text : "", kProfileSpace);
    if (value.empty())
        return kSignerKeyNone;
    if (equalNoCaseAscii(value, "package"))
        return kSignerKeyPackage;
    std::string hex(value);
    return sha256FromHex(hex.c_str(), digest) ? kSignerKeyDigest : kSignerKeyMalformed;
}

int trustKind(long trustResult)
{
    if (trustResult == 0)
        return kTrustValid;
    if (trustResult == kTrustNoSignatureResult || trustResult == kTrustSubjectFormUnknown)
        return kTrustNoSignature;
    return kTrustInvalid;
}

int judgeSigner(const SignerPolicy& policy, long trustResult, int readResult, const unsigned char* leafDigest)
{
    if (policy.kind == kSignerKeyNone)
        return kSignerNotChecked;
    switch (trustKind(trustResult)) {
    case kTrustNoSignature:
        return kSignerNoSignature;
    case kTrustInvalid:
        return kSignerBadSignature;
    default:
        break;
    }
    if (readResult != kSignerFound || !leafDigest)
        return kSignerBadSignature;
    if (policy.kind == kSignerKeyMalformed || !policy.bExpectedKnown)
        return kSignerOtherPublisher;
    return std::memcmp(policy.expected, leafDigest, kSha256Size) == 0 ? kSignerMatch : kSignerOtherPublisher;
}

std::string signerVerdictText(int verdict, const std::string& subject)
{
    switch (verdict) {
    case kSignerNotChecked:
        return "signer not checked";
    case kSignerMatch:
        return "signer matched";
    case kSignerNoSignature:
        return "unsigned";
    case kSignerBadSignature:
        return "signature invalid";
    default:
        return "signed by another publisher: " + (subject.empty() ? std::string("(no subject)") : subject);
    }
}

SignerPolicy readSignerPolicy(const IProfileReader& profile, const char* iniPath)
{
    SignerPolicy policy;
    char value[kMaxText] = {};
    profile.getString(kSRInfoSection, kSignerKey, "", value, sizeof value, iniPath);
    policy.kind = readSignerKey(value, policy.expected);
    policy.bExpectedKnown = policy.kind == kSignerKeyDigest;
    return policy;
}
