#include "package/PackageTrailer.h"

#include "package/MarkerSearch.h"

#include <cstring>

namespace {

std::int64_t getLe32(const unsigned char* p)
{
    return static_cast<std::int32_t>(readLe32(p));
}

} // namespace

int readTrailer(std::int64_t size, std::int64_t trailingBytes, const char* marker, const PackageReadAt& readAt,
                TrailerFields& fields)
{
    std::int64_t trailerAt = size - trailingBytes - kTrailerSize;
    unsigned char trailer[kTrailerSize];
    if (size < 0 || trailingBytes < 0 || trailerAt < 0 || !readAt(trailerAt, trailer, sizeof trailer) ||
        !isMarkerAt(trailer + 4, marker))
        return kTrailerNoMarker;
    std::int64_t start = getLe32(trailer);
    unsigned char lenField[4];
    if (start < 0 || start + 4 > trailerAt || !readAt(start, lenField, sizeof lenField))
        return kTrailerBadStart;
    std::int64_t nameLen = getLe32(lenField);
    if (nameLen < 0 || start + 4 + nameLen > trailerAt)
        return kTrailerBadStart;
    fields.trailerAt = trailerAt;
    fields.start = start;
    fields.nameLen = nameLen;
    return kTrailerRead;
}

int readTrailer(const unsigned char* data, std::int64_t size, std::int64_t trailingBytes, const char* marker,
                TrailerFields& fields)
{
    auto readAt = [data, size](std::int64_t at, void* buf, std::size_t n) {
        if (at < 0 || at > size || static_cast<std::int64_t>(n) > size - at)
            return false;
        std::memcpy(buf, data + at, n);
        return true;
    };
    return readTrailer(size, trailingBytes, marker, readAt, fields);
}
