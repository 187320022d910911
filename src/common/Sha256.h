#pragma once
// SHA-256 (FIPS 180-4) in portable code: the release tool pins downloads
// with it on every platform, and host builds hash with it where Windows
// builds use the platform's CNG hashing.

#include <cstddef>
#include <cstdint>

enum { kSha256Size = 32, kSha256HexSize = 65 }; // digest bytes; hex text with terminator

class CSha256 {
public:
    CSha256();

    // Adds len bytes to the message. Any number of calls, any lengths.
    void update(const void* data, std::size_t len);

    // Writes the 32-byte digest of everything added. The object is then
    // spent: call reset before hashing another message.
    void finish(unsigned char digest[kSha256Size]);

    void reset();

private:
    void block(const unsigned char* p);

    std::uint32_t m_state[8];
    unsigned char m_buf[64];
    std::size_t m_nBuf;
    std::uint64_t m_nBytes;
};

// The digest as 64 lower-case hex digits and a terminator (out holds
// kSha256HexSize bytes).
void sha256Hex(const unsigned char digest[kSha256Size], char out[kSha256HexSize]);

// Reads 64 hex digits (either case, nothing else) into digest. False for
// any other text; digest is then unspecified.
bool sha256FromHex(const char* text, unsigned char digest[kSha256Size]);
