// The signer's certificate read from certificate tables: real signatures
// (osslsigncode with certificate A; a chain whose root comes first; a CMS
// signature by subject key identifier; A listed twice) and the same files
// damaged the ways a hostile file could be.
#include "package/Authenticode.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string fixture(const char* name)
{
    std::ifstream f(std::string(VELDRUN_SIGNED_FIXTURES "/") + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

int readDer(const std::string& der, SignerCertificate* cert)
{
    return readSignedData(reinterpret_cast<const unsigned char*>(der.data()), der.size(), cert);
}

const char kCertA[] = "3fd716294f615e382242455a42a5430b5b6c0118ee5673842d575ffe1613dbf4";
const char kLeaf[] = "e4b964ddb5e929c080a2c959e4d2d9a5dd12703ea854e510ce10d1201faadee1";
// The fixtures' layout: the PE32+ security directory entry, the table right
// after the headers, its DER after the 8-byte WIN_CERTIFICATE header.
const std::size_t kEntry = 64 + 24 + 112 + 4 * 8, kTable = 328, kDer = kTable + 8;

// A damage: width 1, 4 or 8 writes value at `at` (little-endian), 0 cuts
// `at` bytes off the end, -1 leaves the file as it is.
struct Case {
    const char* what;
    const char* file;
    int width;
    std::size_t at;
    std::uint64_t value;
    int result;
    const char* sha256 = nullptr;
    const char* subject = nullptr;
};

} // namespace

TEST(Authenticode, ReadsTheSignersCertificateOrSaysWhyNot)
{
    const Case cases[] = {
        {"signed with A", "signed-a.exe", -1, 0, 0, kSignerFound, kCertA,
         "CN=Ombrel Code Signing A, O=Ombrel Software A, C=DE"},
        {"root first; UTF-8; a two-part RDN", "signed-chain.exe", -1, 0, 0, kSignerFound, kLeaf,
         "CN=Leaf \\C3\\9Cn\\C3\\AFcode, OU=Tools+O=Ombrel"},
        {"empty security directory", "signed-a.exe", 8, kEntry, 0, kSignerUnsigned},
        {"not a program", "signed-a.exe", 1, 0, 'X', kSignerUnsigned},
        {"PE header beyond the file", "signed-a.exe", 4, 0x3C, 0x7FFFFFF0, kSignerUnsigned},
        {"table past the end", "signed-a.exe", 0, 9, 0, kSignerMalformed},
        {"table size wrapping round", "signed-a.exe", 4, kEntry + 4, 0xFFFFFFF8, kSignerMalformed},
        {"entry longer than the table", "signed-a.exe", 4, kTable, 0x10000, kSignerMalformed},
        {"not PKCS#7 signed data", "signed-a.exe", 1, kTable + 6, 1, kSignerMalformed},
        {"DER length past its parent", "signed-a.exe", 1, kDer + 2, 0x7F, kSignerMalformed},
        {"indefinite length", "signed-a.exe", 1, kDer + 1, 0x80, kSignerMalformed},
        {"content type is not signed data", "signed-a.exe", 1, kDer + 14, 3, kSignerMalformed},
    };
    for (const Case& c : cases) {
        std::string b = fixture(c.file);
        ASSERT_FALSE(b.empty()) << c.file;
        for (int i = 0; i < c.width; ++i)
            b[c.at + static_cast<std::size_t>(i)] = static_cast<char>(c.value >> (8 * i));
        if (c.width == 0)
            b.resize(b.size() - c.at);
        CMemorySource source(b.data(), b.size());
        SignerCertificate cert;
        EXPECT_EQ(c.result, readProgramSigner(source, &cert)) << c.what;
        char hex[kSha256HexSize] = "";
        if (c.result == kSignerFound)
            sha256Hex(cert.sha256, hex);
        EXPECT_STREQ(c.sha256 ? c.sha256 : "", hex) << c.what;
        EXPECT_EQ(c.subject ? c.subject : "", cert.subject) << c.what;
    }
}

TEST(Authenticode, FindsTheOneCertificateTheSignerInfoNames)
{
    std::string der = fixture("ski.p7");
    SignerCertificate cert;
    ASSERT_EQ(kSignerFound, readDer(der, &cert));
    char hex[kSha256HexSize];
    sha256Hex(cert.sha256, hex);
    EXPECT_STREQ(kLeaf, hex);
    // One bit changed in the SignerInfo's key identifier (the last [0] of
    // the file): no certificate matches.
    std::size_t sid = der.rfind(std::string("\x80\x14", 2));
    ASSERT_NE(std::string::npos, sid);
    der[sid + 2] = static_cast<char>(der[sid + 2] ^ 1);
    EXPECT_EQ(kSignerMalformed, readDer(der, &cert));
    // The SignerInfo names A's serial number under another issuer (its copy
    // of the issuer, the file's last, one letter changed): A is not it.
    std::string other = fixture("signed-a.exe");
    std::size_t issuer = other.rfind("Ombrel Software A");
    ASSERT_NE(std::string::npos, issuer);
    other[issuer + 16] = 'B';
    CMemorySource source(other.data(), other.size());
    EXPECT_EQ(kSignerMalformed, readProgramSigner(source, &cert));
    // Two certificates answer to the SignerInfo: no one is the signer.
    EXPECT_EQ(kSignerMalformed, readDer(fixture("twice-a.p7"), &cert));
    // Every cut of the DER is refused, never read past.
    std::string whole = fixture("ski.p7");
    for (std::size_t n = 0; n < whole.size(); n += 7)
        EXPECT_EQ(kSignerMalformed, readDer(whole.substr(0, n), &cert)) << n;
}
