// Who must have signed the patch: the Signer key's forms, and the verdict
// from the platform's answer and the signer's certificate.
#include "package/Authenticode.h"
#include "update/PatchSigner.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(PatchSigner, SignerKeyForms)
{
    const std::string hex(64, 'a');
    const struct {
        std::string text;
        int kind;
    } cases[] = {
        {"", kSignerKeyNone},
        {"  \t", kSignerKeyNone},
        {"package", kSignerKeyPackage},
        {" PACKAGE ", kSignerKeyPackage},
        {hex, kSignerKeyDigest},
        {std::string(64, 'F'), kSignerKeyDigest},
        {hex.substr(1), kSignerKeyMalformed},
        {hex + "0", kSignerKeyMalformed},
        {hex.substr(1) + "g", kSignerKeyMalformed},
        {"packages", kSignerKeyMalformed},
        {"CN=Ombrel", kSignerKeyMalformed},
    };
    for (const auto& c : cases) {
        unsigned char digest[kSha256Size] = {};
        EXPECT_EQ(c.kind, readSignerKey(c.text.c_str(), digest)) << '"' << c.text << '"';
        if (c.kind == kSignerKeyDigest) {
            EXPECT_EQ(c.text[0] == 'a' ? 0xAA : 0xFF, digest[31]) << c.text;
        }
    }
}

TEST(PatchSigner, VerdictFromTrustAndCertificate)
{
    const long kOk = 0, kNoSignature = static_cast<long>(0x800B0100L), kFormUnknown = static_cast<long>(0x800B0003L),
               kBadDigest = static_cast<long>(0x80096010L), kUntrustedRoot = static_cast<long>(0x800B0109L),
               kExpired = static_cast<long>(0x800B0101L);
    unsigned char a[kSha256Size], b[kSha256Size];
    std::memset(a, 0xA1, sizeof a);
    std::memset(b, 0xB2, sizeof b);
    SignerPolicy none;
    SignerPolicy expectA;
    expectA.kind = kSignerKeyDigest;
    std::memcpy(expectA.expected, a, sizeof a);
    expectA.bExpectedKnown = true;
    SignerPolicy unknown = expectA; // "package" whose certificate was never read
    unknown.kind = kSignerKeyPackage;
    unknown.bExpectedKnown = false;
    const struct {
        const char* what;
        const SignerPolicy& policy;
        long trust;
        int read;
        const unsigned char* leaf;
        int verdict;
    } cases[] = {
        {"no key: nothing checked", none, kNoSignature, kSignerUnsigned, nullptr, kSignerNotChecked},
        {"valid, certificate A", expectA, kOk, kSignerFound, a, kSignerMatch},
        {"valid, certificate B", expectA, kOk, kSignerFound, b, kSignerOtherPublisher},
        {"no signature", expectA, kNoSignature, kSignerUnsigned, nullptr, kSignerNoSignature},
        {"not a signable file", expectA, kFormUnknown, kSignerUnsigned, nullptr, kSignerNoSignature},
        {"one byte changed, certificate A", expectA, kBadDigest, kSignerFound, a, kSignerBadSignature},
        {"untrusted root, certificate A", expectA, kUntrustedRoot, kSignerFound, a, kSignerBadSignature},
        {"expired, certificate A", expectA, kExpired, kSignerFound, a, kSignerBadSignature},
        {"valid, certificate unreadable", expectA, kOk, kSignerMalformed, nullptr, kSignerBadSignature},
        {"expected certificate unknown", unknown, kOk, kSignerFound, a, kSignerOtherPublisher},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.verdict, judgeSigner(c.policy, c.trust, c.read, c.leaf)) << c.what;
    EXPECT_EQ("signed by another publisher: CN=B", signerVerdictText(kSignerOtherPublisher, "CN=B"));
    EXPECT_EQ("unsigned", signerVerdictText(kSignerNoSignature, ""));
    EXPECT_EQ("signature invalid", signerVerdictText(kSignerBadSignature, "CN=A"));
}
