#include "PackageLayout.h"

#include "ToolFiles.h"

#include "package/PackageTrailer.h"
#include "package/PatchPackage.h"
#include "package/PeLayout.h"

namespace {

std::uint32_t le32(const std::string& b, std::int64_t at)
{
    return readLe32(reinterpret_cast<const unsigned char*>(b.data()) + at);
}

// The certificate table entry of a PE header (the security data directory,
// whose address is a file offset): false when the bytes are no PE image or
// the entry is empty.
bool securityDirectory(const std::string& b, std::int64_t exeSize, std::int64_t& offset, std::int64_t& size)
{
    PeLayout pe;
    if (exeSize > static_cast<std::int64_t>(b.size()) ||
        !readPeLayout(reinterpret_cast<const unsigned char*>(b.data()), exeSize, pe) || !pe.hasCertTable)
        return false;
    offset = pe.certAt;
    size = pe.certSize;
    return size > 0;
}

} // namespace

std::int64_t peHeaderOffset(const std::string& b, std::int64_t exeSize)
{
    if (exeSize < 0x40 || static_cast<std::int64_t>(b.size()) < exeSize || b.compare(0, 2, "MZ") != 0)
        return -1;
    std::int64_t pe = le32(b, 0x3C);
    if (pe + 24 + 2 > exeSize || b.compare(static_cast<std::size_t>(pe), 4, std::string("PE\0\0", 4)) != 0)
        return -1;
    return pe;
}

bool carriesSignatureTable(const std::string& bytes)
{
    std::int64_t offset = 0, size = 0;
    return securityDirectory(bytes, static_cast<std::int64_t>(bytes.size()), offset, size);
}

int readPackageLayout(const std::string& bytes, std::int64_t trailing, const char* marker, PackageLayout& layout)
{
    layout = PackageLayout();
    layout.fileSize = static_cast<std::int64_t>(bytes.size());
    layout.trailing = trailing;
    TrailerFields t;
    if (readTrailer(reinterpret_cast<const unsigned char*>(bytes.data()), layout.fileSize, trailing, marker, t) !=
        kTrailerRead)
        return kLayoutDamaged;
    layout.exeSize = t.start;
    layout.name = bytes.substr(static_cast<std::size_t>(t.nameAt()), static_cast<std::size_t>(t.nameLen));
    layout.contentOffset = t.contentAt();
    layout.contentSize = t.contentSize();

    std::int64_t afterMarker = layout.fileSize - trailing;
    std::int64_t off = 0, size = 0;
    if (trailing > 0 && securityDirectory(bytes, t.start, off, size) && off >= afterMarker &&
        off + size <= layout.fileSize) {
        layout.bSignature = true;
        layout.sigOffset = off;
        layout.sigSize = size;
    }
    return kLayoutOk;
}

bool isProgramOrPackage(const std::string& path, const std::string& bytes)
{
    if (peHeaderOffset(bytes, static_cast<std::int64_t>(bytes.size())) >= 0)
        return true;
    CPatchPackage package(absolutePath(path).c_str());
    return package.checkSignature() == 1;
}
