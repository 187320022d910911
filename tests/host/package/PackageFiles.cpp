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
