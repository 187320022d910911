#pragma once
// Who signed a Windows program: the signer's own certificate, read from the
// program's certificate table. A PE file's security directory gives the
// table's file offset and size; the table holds WIN_CERTIFICATE entries,
// and the first one, of the PKCS#7 kind, carries the Authenticode
// SignedData: the certificates, and a SignerInfo naming the signer's one by
// issuer and serial number (or subject key identifier).
//
// This reads only. Whether the signature is valid (the file's digest, the
// chain) is the platform's to say (WinVerifyTrust, update/PatchSigner.h);
// what this adds is which certificate signed, so that the release tool and
// the host tests need no Windows. Portable. Every length comes from a file
// that may be hostile: each is checked against what holds it, nothing is
// read outside the table, and no step recurses.

#include "common/Sha256.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum {
    kCertTableMaxSize = 4 * 1024 * 1024, // a larger table is refused as malformed
    kSignerSubjectMax = 512,             // characters of the subject text kept (then "...")
};

// Random access to a file's bytes (a held handle, a stream, a buffer).
class CByteSource {
public:
    virtual ~CByteSource() = default;
    // The file's size in bytes; false when it cannot be told.
    virtual bool size(std::uint64_t* bytes) = 0;
    // Reads exactly len bytes at offset; false on any shortfall.
    virtual bool readAt(std::uint64_t offset, void* buf, std::size_t len) = 0;
};

// The bytes of a buffer the caller keeps alive.
class CMemorySource : public CByteSource {
public:
    CMemorySource(const void* data, std::size_t len) : m_pData(static_cast<const unsigned char*>(data)), m_nLen(len) {}
    bool size(std::uint64_t* bytes) override;
    bool readAt(std::uint64_t offset, void* buf, std::size_t len) override;

private:
    const unsigned char* m_pData;
    std::size_t m_nLen;
};

// The signer's certificate.
struct SignerCertificate {
    std::string der;                     // the whole Certificate, DER
    unsigned char sha256[kSha256Size]{}; // its SHA-256: what the Signer key names
    std::string subject;                 // "CN=..., O=..." (most specific part first), ASCII
};

// Results of readProgramSigner and readSignedData.
enum SignerReadResult {
    kSignerUnsigned = 0,   // not a PE program, or its header points at no certificate table
    kSignerFound = 1,      // out holds the signer's certificate
    kSignerMalformed = 2,  // a table, but not one to read: outside the file, too large, not PKCS#7,
                           // damaged DER, or no certificate that matches the SignerInfo
    kSignerUnreadable = 3, // the file could not be read
};

// Where a program's certificate table lies.
struct CertTableSpan {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// Reads the PE headers: kSignerFound with span set when the security
// directory names a table, kSignerUnsigned when there is none or the file
// is no PE program, kSignerMalformed when the table does not lie inside the
// file or is larger than kCertTableMaxSize.
int locateCertTable(CByteSource& file, CertTableSpan* span);

// Reads the signer's certificate from a certificate table's bytes (the
// WIN_CERTIFICATE entries).
int readCertTable(const unsigned char* table, std::size_t len, SignerCertificate* out);

// Reads the signer's certificate of a DER ContentInfo holding a SignedData.
int readSignedData(const unsigned char* der, std::size_t len, SignerCertificate* out);

// locateCertTable, then readCertTable over the table's bytes.
int readProgramSigner(CByteSource& file, SignerCertificate* out);

// A name's words for readProgramSigner's results ("signed", "unsigned", ...).
const char* signerReadText(int result);
