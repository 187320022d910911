// The signer's certificate read from certificate tables: real signatures
// (osslsigncode over a program with certificate A; a chain whose root comes
// first; a CMS signature naming its signer by subject key identifier), and
// the same files damaged the ways a hostile file could be (twice-a.p7:
// certificate A listed twice).
#include "package/Authenticode.h"

#include "common/Sha256.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

namespace {

std::string fixture(const char* name)
{
    std::ifstream f(std::string(VELDRUN_SIGNED_FIXTURES "/") + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

const char kCertA[] = "3fd716294f615e382242455a42a5430b5b6c0118ee5673842d575ffe1613dbf4";
const char kLeaf[] = "e4b964ddb5e929c080a2c959e4d2d9a5dd12703ea854e510ce10d1201faadee1";

// The fixtures' layout: PE header at 64, security directory at 64 + 24 +
// 112 + 32 (PE32+), the table right after the headers (at 328), its DER
// after the 8-byte WIN_CERTIFICATE header.
const std::size_t kSecurityEntry = 64 + 24 + 112 + 4 * 8;
const std::size_t kTable = 328;
const std::size_t kDer = kTable + 8;

void put32(std::string& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

struct Case {
    const char* what;
    const char* file;
    std::function<void(std::string&)> damage;
    int result;
    const char* sha256 = nullptr; // when found
    const char* subject = nullptr;
};

} // namespace

TEST(Authenticode, ReadsTheSignersCertificateOrSaysWhyNot)
{
    const Case cases[] = {
        {"signed with A", "signed-a.exe", nullptr, kSignerFound, kCertA,
         "CN=Ombrel Code Signing A, O=Ombrel Software A, C=DE"},
        {"root first, leaf second; UTF-8 and a two-part RDN", "signed-chain.exe", nullptr, kSignerFound, kLeaf,
         "CN=Leaf \\C3\\9Cn\\C3\\AFcode, OU=Tools+O=Ombrel"},
        {"no security directory", "signed-a.exe",
         [](std::string& b) { put32(b, kSecurityEntry, 0), put32(b, kSecurityEntry + 4, 0); }, kSignerUnsigned},
        {"not a program", "signed-a.exe", [](std::string& b) { b[0] = 'X'; }, kSignerUnsigned},
        {"PE header beyond the file", "signed-a.exe", [](std::string& b) { put32(b, 0x3C, 0x7FFFFFF0); },
         kSignerUnsigned},
        {"table past the end", "signed-a.exe", [](std::string& b) { b.resize(b.size() - 9); }, kSignerMalformed},
        {"table size wrapping round", "signed-a.exe", [](std::string& b) { put32(b, kSecurityEntry + 4, 0xFFFFFFF8); },
         kSignerMalformed},
        {"entry longer than the table", "signed-a.exe", [](std::string& b) { put32(b, kTable, 0x10000); },
         kSignerMalformed},
        {"not PKCS#7 signed data", "signed-a.exe", [](std::string& b) { b[kTable + 6] = 1; }, kSignerMalformed},
        {"DER length past its parent", "signed-a.exe", [](std::string& b) { b[kDer + 2] = 0x7F; }, kSignerMalformed},
        {"indefinite length", "signed-a.exe", [](std::string& b) { b[kDer + 1] = static_cast<char>(0x80); },
         kSignerMalformed},
        {"content type is not signed data", "signed-a.exe", [](std::string& b) { b[kDer + 14] = 0x03; },
         kSignerMalformed},
    };
    for (const Case& c : cases) {
        std::string bytes = fixture(c.file);
        ASSERT_FALSE(bytes.empty()) << c.file;
        if (c.damage)
            c.damage(bytes);
        CMemorySource source(bytes.data(), bytes.size());
        SignerCertificate cert;
        EXPECT_EQ(c.result, readProgramSigner(source, &cert)) << c.what;
        if (c.result != kSignerFound)
            continue;
        char hex[kSha256HexSize];
        sha256Hex(cert.sha256, hex);
        EXPECT_STREQ(c.sha256, hex) << c.what;
        EXPECT_EQ(c.subject, cert.subject) << c.what;
        unsigned char again[kSha256Size];
        CSha256 sha;
        sha.update(cert.der.data(), cert.der.size());
        sha.finish(again);
        EXPECT_EQ(0, std::memcmp(again, cert.sha256, kSha256Size)) << c.what;
    }
}

TEST(Authenticode, FindsTheSignerBySubjectKeyIdentifierOnlyWhenItMatches)
{
    std::string der = fixture("ski.p7");
    ASSERT_FALSE(der.empty());
    SignerCertificate cert;
    const auto* p = reinterpret_cast<const unsigned char*>(der.data());
    ASSERT_EQ(kSignerFound, readSignedData(p, der.size(), &cert));
    char hex[kSha256HexSize];
    sha256Hex(cert.sha256, hex);
    EXPECT_STREQ(kLeaf, hex);
    // The same key identifier with one bit changed in the SignerInfo (the
    // last [0] of the file): no certificate matches.
    std::size_t sid = der.rfind(std::string("\x80\x14", 2));
    ASSERT_NE(std::string::npos, sid);
    der[sid + 2] = static_cast<char>(der[sid + 2] ^ 1);
    EXPECT_EQ(kSignerMalformed, readSignedData(p, der.size(), &cert));
    // osslsigncode's signature with certificate A listed twice: two
    // certificates answer to the SignerInfo, so no one is the signer.
    std::string twice = fixture("twice-a.p7");
    ASSERT_FALSE(twice.empty());
    EXPECT_EQ(kSignerMalformed,
              readSignedData(reinterpret_cast<const unsigned char*>(twice.data()), twice.size(), &cert));
    // Every cut of the DER is refused or read, never read past.
    std::string whole = fixture("ski.p7");
    for (std::size_t n = 0; n < whole.size(); n += 7) {
        std::string cut = whole.substr(0, n);
        EXPECT_EQ(kSignerMalformed, readSignedData(reinterpret_cast<const unsigned char*>(cut.data()), n, &cert)) << n;
    }
}
