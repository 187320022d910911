// The signer's certificate reader on any bytes, read as a whole program, as
// a certificate table and as a DER SignedData: nothing is read outside the
// input, a certificate found is a part of the input whose SHA-256 is the
// one reported, and its subject is printable ASCII within its bound.
#include "common/Sha256.h"
#include "package/Authenticode.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

void check(int result, const SignerCertificate& cert, const std::string& input)
{
    if (result != kSignerFound)
        return;
    unsigned char digest[kSha256Size];
    CSha256 sha;
    sha.update(cert.der.data(), cert.der.size());
    sha.finish(digest);
    bool printable =
        std::all_of(cert.subject.begin(), cert.subject.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (cert.der.empty() || input.find(cert.der) == std::string::npos ||
        std::memcmp(digest, cert.sha256, kSha256Size) != 0 || cert.subject.size() > kSignerSubjectMax || !printable)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    CMemorySource source(data, size);
    SignerCertificate program, table, der;
    check(readProgramSigner(source, &program), program, input);
    check(readCertTable(data, size, &table), table, input);
    check(readSignedData(data, size, &der), der, input);
    return 0;
}
