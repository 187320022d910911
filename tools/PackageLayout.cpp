#include "PackageLayout.h"

namespace {

std::uint32_t le32(const std::string& b, std::int64_t at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}

std::uint16_t le16(const std::string& b, std::int64_t at)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(b.data()) + at;
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

// The certificate table entry of a PE header (the security data directory,
// whose address is a file offset): false when the bytes are no PE image or
// the entry is empty.
bool securityDirectory(const std::string& b, std::int64_t exeSize, std::int64_t& offset, std::int64_t& size)
{
    if (exeSize < 0x40 || b.compare(0, 2, "MZ") != 0)
        return false;
    std::int64_t pe = le32(b, 0x3C);
    if (pe + 24 + 2 > exeSize || b.compare(static_cast<std::size_t>(pe), 4, std::string("PE\0\0", 4)) != 0)
        return false;
    std::int64_t opt = pe + 24;
    std::uint16_t magic = le16(b, opt);
    std::int64_t countAt = magic == 0x20B ? opt + 108 : magic == 0x10B ? opt + 92 : -1;
    if (countAt < 0 || countAt + 4 + 5 * 8 > exeSize || le32(b, countAt) < 5)
        return false;
    std::int64_t entry = countAt + 4 + 4 * 8; // IMAGE_DIRECTORY_ENTRY_SECURITY
    offset = le32(b, entry);
    size = le32(b, entry + 4);
    return size > 0;
}

} // namespace

int readPackageLayout(const std::string& bytes, std::int64_t trailing, PackageLayout& layout)
{
    layout = PackageLayout();
    layout.fileSize = static_cast<std::int64_t>(bytes.size());
    layout.trailing = trailing;
    std::int64_t startField = layout.fileSize - trailing - 24; // offset of the start-offset field
    if (startField < 0)
        return kLayoutDamaged;
    std::int64_t s = le32(bytes, startField);
    if (s > 0x7FFFFFFF || s + 4 > startField)
        return kLayoutDamaged;
    std::int64_t n = le32(bytes, s);
    if (n > 0x7FFFFFFF || s + 4 + n > startField)
        return kLayoutDamaged;
    layout.exeSize = s;
    layout.name = bytes.substr(static_cast<std::size_t>(s + 4), static_cast<std::size_t>(n));
    layout.contentOffset = s + 4 + n;
    layout.contentSize = startField - layout.contentOffset;

    std::int64_t afterMarker = layout.fileSize - trailing;
    std::int64_t off = 0, size = 0;
    if (trailing > 0 && securityDirectory(bytes, s, off, size) && off >= afterMarker && off + size <= layout.fileSize) {
        layout.bSignature = true;
        layout.sigOffset = off;
        layout.sigSize = size;
    }
    return kLayoutOk;
}
