#include "update/HttpResume.h"

#include "update/HttpDate.h"

#include <cstring>
#include <limits>

namespace {

const std::size_t kMaxEtag = 200;

bool isStrongEtag(const char* etag)
{
    const std::size_t n = std::strlen(etag);
    if (n < 2 || n > kMaxEtag || etag[0] != '"' || etag[n - 1] != '"')
        return false;
    // etagc: 0x21, 0x23-0x7E and bytes from 0x80 on; never '"', a control or a blank.
    for (std::size_t i = 1; i + 1 < n; ++i) {
        const unsigned char c = static_cast<unsigned char>(etag[i]);
        if (c < 0x21 || c == '"' || c == 0x7f)
            return false;
    }
    return true;
}

// Decimal digits at *p, at least one, without overflow.
bool readNumber(const char*& p, std::uint64_t* value)
{
    if (*p < '0' || *p > '9')
        return false;
    std::uint64_t v = 0;
    const std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    for (; *p >= '0' && *p <= '9'; ++p) {
        const unsigned d = static_cast<unsigned>(*p - '0');
        if (v > (max - d) / 10)
            return false;
        v = v * 10 + d;
    }
    *value = v;
    return true;
}

} // namespace

ResumeBasis resumeBasisOf(const char* etag, const char* lastModified, const char* date, bool lengthKnown,
                          std::uint64_t length, bool encoded)
{
    ResumeBasis basis;
    if (encoded || !lengthKnown || length == 0)
        return basis;
    if (etag && *etag) {
        // An ETag that cannot be used is no reason to trust the date instead:
        // the server said what identifies the file.
        if (isStrongEtag(etag))
            basis.validator = etag;
    } else {
        std::int64_t modified = 0, now = 0;
        if (parseHttpDate(lastModified, &modified) && parseHttpDate(date, &now) && now - modified >= 1)
            basis.validator = lastModified;
    }
    if (!basis.validator.empty())
        basis.total = length;
    return basis;
}

bool parseContentRange(const char* value, ContentRange* range)
{
    if (!value || !range)
        return false;
    const char* p = value;
    while (*p == ' ' || *p == '\t')
        ++p;
    ContentRange r;
    if (std::strncmp(p, "bytes ", 6) != 0)
        return false;
    p += 6;
    if (!readNumber(p, &r.first) || *p++ != '-' || !readNumber(p, &r.last) || *p++ != '/')
        return false;
    if (*p == '*') {
        ++p;
    } else {
        if (!readNumber(p, &r.total))
            return false;
        r.totalKnown = true;
    }
    while (*p == ' ' || *p == '\t')
        ++p;
    if (*p || r.first > r.last || (r.totalKnown && r.last >= r.total))
        return false;
    *range = r;
    return true;
}

RangedAnswer judgeRangedAnswer(int status, const char* contentRange, std::uint64_t from, const ResumeBasis& basis)
{
    if (from == 0)
        return status == 200 ? RangedAnswer::Append : RangedAnswer::Failed;
    if (status == 200)
        return RangedAnswer::StartOver;
    ContentRange r;
    if (status == 206 && basis.usable() && parseContentRange(contentRange, &r) && r.first == from && r.totalKnown &&
        r.total == basis.total)
        return RangedAnswer::Append;
    return RangedAnswer::Failed;
}

std::string resumeRequestHeaders(std::uint64_t from, const ResumeBasis& basis)
{
    std::string lines = "Accept-Encoding: identity\r\n";
    if (from > 0 && basis.usable())
        lines += "Range: bytes=" + std::to_string(from) + "-\r\nIf-Range: " + basis.validator + "\r\n";
    return lines;
}
