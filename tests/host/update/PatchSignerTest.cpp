// Who must have signed the patch: the Signer key's forms, and the verdict
// from WinVerifyTrust's answer and the signer's certificate.
#include "package/Authenticode.h"
#include "update/PatchSigner.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PatchSigner, SignerKeyForms)
{
    const std::string hex(64, 'a');
    const std::pair<std::string, int> cases[] = {
        {"", kSignerKeyNone},
        {" \t", kSignerKeyNone},
        {"package", kSignerKeyPackage},
        {" PACKAGE ", kSignerKeyPackage},
        {hex, kSignerKeyDigest},
        {std::string(64, 'F'), kSignerKeyDigest},
        {hex.substr(1), kSignerKeyMalformed},
        {hex + "0", kSignerKeyMalformed},
        {hex.substr(1) + "g", kSignerKeyMalformed},
        {"packages", kSignerKeyMalformed},
    };
    for (const auto& c : cases) {
        unsigned char digest[kSha256Size] = {};
        EXPECT_EQ(c.second, readSignerKey(c.first.c_str(), digest)) << '"' << c.first << '"';
        EXPECT_EQ(c.second != kSignerKeyDigest ? 0 : c.first[0] == 'a' ? 0xAA : 0xFF, digest[31]) << c.first;
    }
}

TEST(PatchSigner, VerdictFromTrustAndCertificate)
{
    const long kOk = 0, kNoSignature = 0x800B0100L, kFormUnknown = 0x800B0003L, kBadDigest = 0x80096010L,
               kUntrustedRoot = 0x800B0109L, kExpired = 0x800B0101L;
    unsigned char a[kSha256Size], b[kSha256Size];
    std::memset(a, 0xA1, sizeof a);
    std::memset(b, 0xB2, sizeof b);
    SignerPolicy none, expectA, unknown;
    expectA.kind = kSignerKeyDigest;
    std::memcpy(expectA.expected, a, sizeof a);
    expectA.bExpectedKnown = true;
    unknown = expectA; // "package" whose certificate was never read
    unknown.kind = kSignerKeyPackage;
    unknown.bExpectedKnown = false;
    const struct {
        const SignerPolicy& policy;
        long trust;
        int read;
        const unsigned char* leaf;
        int verdict;
    } cases[] = {
        {none, kNoSignature, kSignerUnsigned, nullptr, kSignerNotChecked},
        {expectA, kOk, kSignerFound, a, kSignerMatch},
        {expectA, kOk, kSignerFound, b, kSignerOtherPublisher},
        {expectA, kNoSignature, kSignerUnsigned, nullptr, kSignerNoSignature},
        {expectA, kFormUnknown, kSignerUnsigned, nullptr, kSignerNoSignature},
        {expectA, kBadDigest, kSignerFound, a, kSignerBadSignature},
        {expectA, kUntrustedRoot, kSignerFound, a, kSignerBadSignature},
        {expectA, kExpired, kSignerFound, a, kSignerBadSignature},
        {expectA, kOk, kSignerMalformed, nullptr, kSignerBadSignature}, // valid, but no certificate names it
        {unknown, kOk, kSignerFound, a, kSignerOtherPublisher},
    };
    int row = 0;
    for (const auto& c : cases)
        EXPECT_EQ(c.verdict, judgeSigner(c.policy, c.trust, c.read, c.leaf)) << "row " << row++;
    EXPECT_EQ("signed by another publisher: CN=B", signerVerdictText(kSignerOtherPublisher, "CN=B"));
}
