#include "package/PeLayout.h"

#include "package/PackageTrailer.h"

#include <cstring>

namespace {
enum : std::int64_t {
    kDosHeader = 64,
    kFileHeader = 20,
    kSectionHeader = 40,
    kDirectoryEntry = 8,
    kSecurityDirectory = 4,
    kMaxHeaders = 1 << 20,
};
enum : std::uint16_t { kMagic32 = 0x10b, kMagic64 = 0x20b };
} // namespace

bool readPeLayout(const unsigned char* data, std::int64_t size, PeLayout& out)
{
    out = PeLayout();
    if (!data || size < kDosHeader || data[0] != 'M' || data[1] != 'Z')
        return false;
    std::int64_t pe = readLe32(data + 0x3C);
    if (pe < kDosHeader || pe > kMaxHeaders || pe + 4 + kFileHeader + 2 > size || std::memcmp(data + pe, "PE\0\0", 4))
        return false;
    std::int64_t sections = readLe16(data + pe + 6);
    std::int64_t optSize = readLe16(data + pe + 20);
    std::int64_t opt = pe + 4 + kFileHeader;
    std::uint16_t magic = readLe16(data + opt);
    if (magic != kMagic32 && magic != kMagic64)
        return false;
    bool wide = magic == kMagic64;
    // Fixed offsets from the optional header's start, as the signature's
    // digest finds them, whatever the header's stated size.
    std::int64_t countAt = opt + (wide ? 108 : 92);
    std::int64_t entry = opt + (wide ? 112 : 96) + kSecurityDirectory * kDirectoryEntry;
    if (entry + kDirectoryEntry > size)
        return false;
    std::int64_t end = opt + optSize + sections * kSectionHeader;
    out.headersEnd = (optSize > countAt - opt && end <= size) ? end : 0;
    out.sizeOfHeaders = readLe32(data + opt + 60);
    out.imageBaseAt = opt + (wide ? 24 : 28);
    out.imageBaseLen = wide ? 8 : 4;
    if (readLe32(data + countAt) > kSecurityDirectory) {
        out.certAt = readLe32(data + entry);
        out.certSize = readLe32(data + entry + 4);
        out.hasCertTable = out.certAt != 0 || out.certSize != 0;
    }
    return true;
}

bool sameLoadedHeaders(const unsigned char* loaded, std::int64_t loadedSize, const unsigned char* file,
                       std::int64_t fileSize)
{
    PeLayout a;
    PeLayout b;
    if (!readPeLayout(loaded, loadedSize, a) || !readPeLayout(file, fileSize, b) || a.headersEnd == 0 ||
        a.headersEnd != b.headersEnd || a.imageBaseAt != b.imageBaseAt)
        return false;
    std::size_t baseAt = static_cast<std::size_t>(a.imageBaseAt);
    std::size_t baseEnd = baseAt + static_cast<std::size_t>(a.imageBaseLen);
    std::size_t end = static_cast<std::size_t>(a.headersEnd);
    return std::memcmp(loaded, file, baseAt) == 0 && std::memcmp(loaded + baseEnd, file + baseEnd, end - baseEnd) == 0;
}

std::int64_t trailerRegionEnd(const unsigned char* head, std::int64_t headLen, std::int64_t size, bool* hasTable)
{
    PeLayout layout;
    bool table = readPeLayout(head, headLen, layout) && layout.hasCertTable;
    if (hasTable)
        *hasTable = table;
    if (!table)
        return size;
    return layout.certAt + layout.certSize <= size ? layout.certAt : -1;
}
