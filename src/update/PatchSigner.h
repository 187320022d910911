#pragma once
// Who must have signed the patch. A patch information file may carry, in
// [SRInfo], "Signer": "package" (the patch must carry a valid Authenticode
// signature made with the same certificate as the running package's own)
// or 64 hex digits (the SHA-256 of the certificate that must have signed
// it). Without the key nothing changes. The check runs on the held
// download, after the pin check and before the patch is started; a patch
// that fails it is removed and counts as no file.
//
// The rules are portable (key reading, the verdict from the platform's
// answer and the signer's certificate); PatchSigner_win.cpp asks the
// platform (WinVerifyTrust, loaded from System32 only) and reads the
// certificate through the held handle.

#include "common/FileHash.h"
#include "common/Sha256.h"
#include "package/PackagePlatform.h"
#include "products/Profile.h"

#include <string>

// What the Signer key asks for (readSignerKey).
enum SignerKeyKind {
    kSignerKeyNone = 0,      // no key, or an empty value: no check
    kSignerKeyPackage = 1,   // "package" (any case)
    kSignerKeyDigest = 2,    // 64 hex digits (either case)
    kSignerKeyMalformed = 3, // anything else: the file is malformed
};

// The policy of one run.
struct SignerPolicy {
    int kind = kSignerKeyNone;
    // The certificate the patch must be signed with: the key's digest, or
    // the package's own certificate once the launcher has read it.
    unsigned char expected[kSha256Size] = {};
    bool bExpectedKnown = false;
};

// Reads a Signer value (already trimmed): its kind, and the digest for
// kSignerKeyDigest.
int readSignerKey(const char* text, unsigned char digest[kSha256Size]);

// What the platform said of a file's signature, in three kinds.
enum TrustKind {
    kTrustValid = 0,   // the signature is valid (WinVerifyTrust returned 0)
    kTrustNoSignature, // the file carries no signature
    kTrustInvalid,     // a signature that does not verify (changed file, bad chain, expired, ...)
};

// The kind of a WinVerifyTrust result: TRUST_E_NOSIGNATURE and
// TRUST_E_SUBJECT_FORM_UNKNOWN (a file that is no signable program) are
// "no signature"; every other failure is "invalid".
int trustKind(long trustResult);

// Results of judgeSigner.
enum SignerVerdict {
    kSignerNotChecked = 0, // no policy: nothing was checked
    kSignerMatch = 1,      // valid, and signed with the expected certificate
    kSignerNoSignature,    // "unsigned"
    kSignerBadSignature,   // "signature invalid"
    kSignerOtherPublisher, // "signed by another publisher: <subject>"
};

// Decides a patch's verdict: the policy, what the platform said of its
// signature (a WinVerifyTrust result), and the signer's certificate as
// read from the same file (readResult: a SignerReadResult; leafDigest
// valid when it is kSignerFound). A valid signature whose certificate
// cannot be read counts as invalid: nothing names its publisher. A policy
// whose certificate is not known yet refuses everything.
int judgeSigner(const SignerPolicy& policy, long trustResult, int readResult, const unsigned char* leafDigest);

// The verdict in words, as the outcome line shows it: "signer matched",
// "unsigned", "signature invalid", "signed by another publisher: SUBJECT".
std::string signerVerdictText(int verdict, const std::string& subject);

// Reads [SRInfo] "Signer" of the patch information file into a policy
// (the digest for a key of 64 hex digits; for "package" the caller adds
// the package's own certificate).
SignerPolicy readSignerPolicy(const IProfileReader& profile, const char* iniPath);

// --- platform (PatchSigner_win.cpp) -------------------------------------

// The running package's own certificate, for Signer=package: true with
// digest set when the program's own file, as the launcher holds it, carries
// a valid signature (WinVerifyTrust on the held handle) and its signer's
// certificate can be read from the held view. Traces why not otherwise:
// "[Veldrun] Signer => the package is not signed (%s), nothing to compare with\n".
bool readPackageSigner(const CPackageView& own, unsigned char digest[kSha256Size]);

// Checks the held download against the policy: WinVerifyTrust on the held
// handle (no UI, no revocation check: the run may be offline), then the
// signer's certificate read through the same handle. Traces
// "[Veldrun] checkPatchSigner => %s\n" with the verdict's text, and the
// platform's result when it is not 0. subject receives the signer's
// subject when one was read. Returns a SignerVerdict (kSignerNotChecked
// without a policy).
int checkPatchSigner(const SignerPolicy& policy, CHeldFile& held, const char* path, std::string* subject);
