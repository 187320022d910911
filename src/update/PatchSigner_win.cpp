#include "update/PatchSigner.h"

#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "package/Authenticode.h"
#include "package/PackagePlatform.h"

#include <windows.h>

#include <cstring>

namespace {

// The held file as the certificate reader's byte source.
class CHeldSource : public CByteSource {
public:
    explicit CHeldSource(CHeldFile& file) : m_file(file) {}
    bool size(std::uint64_t* bytes) override
    {
        std::int64_t n = m_file.size();
        *bytes = n < 0 ? 0 : static_cast<std::uint64_t>(n);
        return n >= 0;
    }
    bool readAt(std::uint64_t offset, void* buf, std::size_t len) override { return m_file.readAt(offset, buf, len); }

private:
    CHeldFile& m_file;
};

// WinVerifyTrust over the held handle; the path only names it.
long verifyHeld(void* handle, const char* path)
{
    wchar_t widePath[kMaxText] = {};
    MultiByteToWideChar(CP_ACP, 0, path ? path : "", -1, widePath, kMaxText - 1);
    return verifyHeldSignature(handle, widePath);
}

} // namespace

bool readPackageSigner(const CPackageView& own, unsigned char digest[kSha256Size])
{
    char path[kMaxText] = {};
    packageOwnModulePath(path, sizeof path); // names the file only; the handle is what is checked
    const char* why = "its file is not held";
    if (own.isHeld() && own.data()) {
        long trust = verifyHeld(own.heldHandle(), path);
        CMemorySource source(own.data(), static_cast<std::size_t>(own.size()));
        SignerCertificate cert;
        int read = trust == 0 ? readProgramSigner(source, &cert) : kSignerUnsigned;
        if (trust != 0) {
            why = trustKind(trust) == kTrustNoSignature ? "no signature" : "its signature does not verify";
            traceLog("[Veldrun] Signer => WinVerifyTrust on the package: 0x%08lX\n", static_cast<unsigned long>(trust));
        } else if (read != kSignerFound) {
            why = signerReadText(read);
        } else {
            std::memcpy(digest, cert.sha256, kSha256Size);
            char hex[kSha256HexSize];
            sha256Hex(digest, hex);
            traceLog("[Veldrun] Signer => package signed by %s (%s)\n", cert.subject.c_str(), hex);
            return true;
        }
    }
    traceLog("[Veldrun] Signer => the package is not signed (%s), nothing to compare with\n", why);
    return false;
}

int checkPatchSigner(const SignerPolicy& policy, CHeldFile& held, const char* path, std::string* subject)
{
    if (policy.kind == kSignerKeyNone)
        return kSignerNotChecked;
    long trust = held.isOpen() ? verifyHeld(held.nativeHandle(), path) : static_cast<long>(TRUST_E_NOSIGNATURE);
    CHeldSource source(held);
    SignerCertificate cert;
    int read = trust == 0 ? readProgramSigner(source, &cert) : kSignerUnsigned;
    int verdict = judgeSigner(policy, trust, read, read == kSignerFound ? cert.sha256 : nullptr);
    if (subject)
        *subject = cert.subject;
    if (trust != 0)
        traceLog("[Veldrun] checkPatchSigner => WinVerifyTrust: 0x%08lX\n", static_cast<unsigned long>(trust));
    else if (read != kSignerFound)
        traceLog("[Veldrun] checkPatchSigner => signer's certificate: %s\n", signerReadText(read));
    char hex[kSha256HexSize] = "-";
    if (read == kSignerFound)
        sha256Hex(cert.sha256, hex);
    traceLog("[Veldrun] checkPatchSigner => %s (%s)\n", signerVerdictText(verdict, cert.subject).c_str(), hex);
    return verdict;
}
