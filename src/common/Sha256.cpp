#include "common/Sha256.h"

#include <cstring>

namespace {

const std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

inline std::uint32_t rotr(std::uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

CSha256::CSha256()
{
    reset();
}

void CSha256::reset()
{
    static const std::uint32_t init[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                          0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};
    std::memcpy(m_state, init, sizeof m_state);
    m_nBuf = 0;
    m_nBytes = 0;
}

void CSha256::block(const unsigned char* p)
{
    std::uint32_t w[64];
    for (int i = 0; i < 16; ++i)
        w[i] = (std::uint32_t(p[4 * i]) << 24) | (std::uint32_t(p[4 * i + 1]) << 16) |
               (std::uint32_t(p[4 * i + 2]) << 8) | std::uint32_t(p[4 * i + 3]);
    for (int i = 16; i < 64; ++i) {
        std::uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
        std::uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
        w[i] = w[i - 16] + s0 + w[i - 7] + s1;
    }
    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    std::uint32_t e = m_state[4], f = m_state[5], g = m_state[6], h = m_state[7];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t t1 = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
        std::uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
        h = g;
        g = f;
        f = e;
        e = d + t1;
        d = c;
        c = b;
        b = a;
        a = t1 + t2;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
    m_state[5] += f;
    m_state[6] += g;
    m_state[7] += h;
}

void CSha256::update(const void* data, std::size_t len)
{
    const unsigned char* p = static_cast<const unsigned char*>(data);
    m_nBytes += len;
    while (len > 0) {
        std::size_t n = 64 - m_nBuf;
        if (n > len)
            n = len;
        std::memcpy(m_buf + m_nBuf, p, n);
        m_nBuf += n;
        p += n;
        len -= n;
        if (m_nBuf == 64) {
            block(m_buf);
            m_nBuf = 0;
        }
    }
}

void CSha256::finish(unsigned char digest[kSha256Size])
{
    std::uint64_t bits = m_nBytes * 8;
    static const unsigned char pad[64] = {0x80};
    std::size_t padLen = (m_nBuf < 56) ? 56 - m_nBuf : 120 - m_nBuf;
    update(pad, padLen);
    unsigned char len[8];
    for (int i = 0; i < 8; ++i)
        len[i] = static_cast<unsigned char>(bits >> (56 - 8 * i));
    update(len, sizeof len);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = static_cast<unsigned char>(m_state[i] >> 24);
        digest[4 * i + 1] = static_cast<unsigned char>(m_state[i] >> 16);
        digest[4 * i + 2] = static_cast<unsigned char>(m_state[i] >> 8);
        digest[4 * i + 3] = static_cast<unsigned char>(m_state[i]);
    }
}

void sha256Hex(const unsigned char digest[kSha256Size], char out[kSha256HexSize])
{
    static const char digits[] = "0123456789abcdef";
    for (int i = 0; i < kSha256Size; ++i) {
        out[2 * i] = digits[digest[i] >> 4];
        out[2 * i + 1] = digits[digest[i] & 15];
    }
    out[2 * kSha256Size] = '\0';
}

bool sha256FromHex(const char* text, unsigned char digest[kSha256Size])
{
    if (!text || std::strlen(text) != 2 * kSha256Size)
        return false;
    for (int i = 0; i < kSha256Size; ++i) {
        int hi = hexValue(text[2 * i]);
        int lo = hexValue(text[2 * i + 1]);
        if (hi < 0 || lo < 0)
            return false;
        digest[i] = static_cast<unsigned char>(hi * 16 + lo);
    }
    return true;
}
