#include "PackageFiles.h"

std::string markerText()
{
    std::string half = "!vdrsign!";
    return half + half;
}

Bytes markerField(unsigned char last)
{
    Bytes f = markerText();
    f.push_back('\0');
    f.push_back(static_cast<char>(last));
    return f;
}

Bytes le32(std::uint32_t v)
{
    Bytes b(4, '\0');
    for (int i = 0; i < 4; ++i)
        b[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
    return b;
}

Bytes pseudoRandomBytes(std::size_t n, std::uint32_t seed)
{
    Bytes b(n, '\0');
    std::uint32_t x = seed * 2654435761u + 1;
    for (auto& c : b) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x >> 24);
    }
    return b;
}

Bytes composePackage(const Bytes& exe, const Bytes& name, const Bytes& content, const Bytes& trailing,
                     std::int64_t startOffset, std::int64_t nameLen)
{
    std::uint32_t start =
        static_cast<std::uint32_t>(startOffset < 0 ? static_cast<std::int64_t>(exe.size()) : startOffset);
    std::uint32_t len = static_cast<std::uint32_t>(nameLen < 0 ? static_cast<std::int64_t>(name.size()) : nameLen);
    return exe + le32(len) + name + content + le32(start) + markerField() + trailing;
}

namespace {
constexpr std::size_t kPeAt = 0x80;
constexpr std::size_t kOptAt = kPeAt + 24;

void put(Bytes& b, std::size_t at, const Bytes& v)
{
    b.replace(at, v.size(), v);
}
} // namespace

Bytes minimalPe(bool wide)
{
    Bytes pe(512, '\0');
    put(pe, 0, "MZ");
    put(pe, 0x3C, le32(kPeAt));
    put(pe, kPeAt, Bytes("PE\0\0", 4));
    put(pe, kPeAt + 4, Bytes(wide ? "\x64\x86" : "\x4c\x01", 2));
    put(pe, kPeAt + 6, Bytes("\x01\x00", 2));
    put(pe, kPeAt + 20, Bytes(wide ? "\xf0\x00" : "\xe0\x00", 2));
    put(pe, kOptAt, Bytes(wide ? "\x0b\x02" : "\x0b\x01", 2));
    put(pe, kOptAt + (wide ? 24 : 28), le32(0x400000));
    put(pe, kOptAt + 60, le32(0x200));
    put(pe, kOptAt + (wide ? 108 : 92), le32(16));
    put(pe, kOptAt + (wide ? 0xf0 : 0xe0), ".text");
    return pe;
}

std::size_t securityEntryAt(bool wide)
{
    return kOptAt + (wide ? 112 : 96) + 4 * 8;
}

void setCertTable(Bytes& pe, bool wide, std::uint32_t at, std::uint32_t size)
{
    put(pe, securityEntryAt(wide), le32(at));
    put(pe, securityEntryAt(wide) + 4, le32(size));
}
