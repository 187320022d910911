#include "package/PatchPackage.h"

#include "common/FixedBuf.h"
#include "common/StdFile.h"
#include "common/Trace.h"
#include "package/MarkerSearch.h"
#include "package/PackagePlatform.h"
#include "package/PackageTrailer.h"
#include "package/PeLayout.h"

#include <cstdio>
#include <cstring>

namespace {

// The marker's half, held once: the program's own bytes must never contain
// the doubled text followed by a zero byte, or the plain program would be
// taken for a package. The constructor composes the doubled text.
const char kMarkerHalf[] = "!vdrsign!";

constexpr std::size_t kCopyChunk = 1024;
// What a stream read gives the program file's layout: its headers.
constexpr std::int64_t kHeadBytes = 65536;

// Size of an open stream, or -1. Leaves the position at the end.
std::int64_t streamSize(FILE* f)
{
    if (std::fseek(f, 0, SEEK_END) != 0)
        return -1;
    long size = std::ftell(f);
    return size < 0 ? -1 : static_cast<std::int64_t>(size);
}

bool seekTo(FILE* f, std::int64_t offset)
{
    return offset >= 0 && offset <= kMaxPackage && std::fseek(f, static_cast<long>(offset), SEEK_SET) == 0;
}

// Copies `count` bytes from `in` to `write` (a bool(const void*, size_t)),
// or everything up to the end of `in` when count is negative; `limit` caps
// that open-ended copy. Returns the bytes copied, or -1 on a read or write
// error, a short read, or passing the limit.
template <class Write> std::int64_t copyBytes(FILE* in, Write&& write, std::int64_t count, std::int64_t limit)
{
    unsigned char chunk[kCopyChunk];
    std::int64_t copied = 0;
    for (;;) {
        std::size_t want = kCopyChunk;
        if (count >= 0) {
            if (copied == count)
                return copied;
            if (count - copied < static_cast<std::int64_t>(want))
                want = static_cast<std::size_t>(count - copied);
        }
        std::size_t got = std::fread(chunk, 1, want, in);
        if (std::ferror(in) || (count >= 0 && got != want))
            return -1;
        if (got == 0)
            return copied;
        copied += static_cast<std::int64_t>(got);
        if (copied > limit || !write(chunk, got))
            return -1;
    }
}

std::int64_t copyBytes(FILE* in, FILE* out, std::int64_t count, std::int64_t limit)
{
    return copyBytes(
        in, [out](const void* p, std::size_t n) { return std::fwrite(p, 1, n, out) == n; }, count, limit);
}

// The package's bytes as detachFile reads them: the held view, or a stream
// opened by the package's path.
class CPackageBytes {
public:
    explicit CPackageBytes(const CPackageView& view) : m_pData(view.data()), m_nSize(view.size()) {}
    explicit CPackageBytes(FILE* f) : m_f(f), m_nSize(f ? streamSize(f) : -1) {}

    std::int64_t size() const { return m_nSize; }

    // Exactly n bytes from offset at; false when they are not all there.
    bool readAt(std::int64_t at, void* buf, std::size_t n)
    {
        if (at < 0 || at > m_nSize || static_cast<std::int64_t>(n) > m_nSize - at)
            return false;
        if (m_pData) {
            std::memcpy(buf, m_pData + at, n);
            return true;
        }
        return seekTo(m_f, at) && std::fread(buf, 1, n, m_f) == n;
    }

    // Copies count bytes from offset at to write; false on any failure.
    template <class Write> bool copy(std::int64_t at, std::int64_t count, Write&& write)
    {
        if (at < 0 || count < 0 || at > m_nSize || count > m_nSize - at)
            return false;
        if (m_pData) {
            for (std::int64_t done = 0; done < count; done += static_cast<std::int64_t>(kCopyChunk)) {
                std::int64_t n = count - done < static_cast<std::int64_t>(kCopyChunk) ? count - done : kCopyChunk;
                if (!write(m_pData + at + done, static_cast<std::size_t>(n)))
                    return false;
            }
            return true;
        }
        return seekTo(m_f, at) && copyBytes(m_f, write, count, count) == count;
    }

private:
    const unsigned char* m_pData = nullptr;
    FILE* m_f = nullptr;
    std::int64_t m_nSize;
};

} // namespace

const char* attachmentName(const char* appendPath)
{
    const char* slash = std::strrchr(appendPath, '\\');
    return slash ? slash + 1 : appendPath;
}

bool isStorableName(const char* name, std::size_t len)
{
    if (len == 0 || len >= kMaxText)
        return false;
    if ((len == 1 && name[0] == '.') || (len == 2 && name[0] == '.' && name[1] == '.'))
        return false;
    for (std::size_t i = 0; i < len; ++i)
        if (name[i] == '\0' || name[i] == '\\' || name[i] == '/' || name[i] == ':')
            return false;
    return true;
}

bool composeDestPath(const char* destDir, const char* name, char* out, std::size_t cap)
{
    if (!destDir)
        destDir = "";
    std::size_t dirLen = std::strlen(destDir);
    const char* sep = (dirLen > 0 && destDir[dirLen - 1] != '\\') ? "\\" : "";
    std::size_t total = dirLen + std::strlen(sep) + std::strlen(name);
    if (!out || total >= cap)
        return false;
    return formatBounded(out, cap, "%s%s%s", destDir, sep, name);
}

CPatchPackage::CPatchPackage(const char* path) : packagePath(), marker(), trailingBytes(0)
{
    if (path)
        setPackagePath(path);
    else
        packageOwnModulePath(packagePath, sizeof packagePath);
    formatBounded(marker, sizeof marker, "%s%s", kMarkerHalf, kMarkerHalf);
    marker[kMarkerField - 1] = '\0';
}

bool CPatchPackage::setPackagePath(const char* path)
{
    if (path && copyBounded(packagePath, sizeof packagePath, path))
        return true;
    packagePath[0] = '\0';
    return false;
}

int CPatchPackage::holdOwnFile()
{
    m_nHoldError = m_held.holdOwnFile();
    if (m_nHoldError) {
        m_bRefused = true;
        return kOwnFileUnreadable;
    }
    std::int64_t loadedSize = 0;
    const unsigned char* loaded = packageLoadedHeaders(&loadedSize);
    if (loaded && !sameLoadedHeaders(loaded, loadedSize, m_held.data(), m_held.size())) {
        m_held.close();
        m_bRefused = true;
        return kOwnFileSwapped;
    }
    // A copy of a signed package changed after signing (its patch information
    // file rewritten in place) keeps every header byte: only its signature
    // tells it from the package that was started. An unsigned package is not
    // checked: whoever could swap it could have replaced it before its start.
    PeLayout pe;
    const unsigned char* headers = loaded ? loaded : m_held.data();
    std::int64_t headersSize = loaded ? loadedSize : m_held.size();
    if (readPeLayout(headers, headersSize, pe) && pe.hasCertTable) {
        long trust = m_held.verifySignature();
        if (trust != 0) {
            m_nHoldError = static_cast<unsigned long>(trust);
            m_held.close();
            m_bRefused = true;
            return kOwnFileUntrusted;
        }
    }
    return kOwnFileHeld;
}

int CPatchPackage::checkSignature()
{
    traceLog("[Veldrun] checkSignature\n");
    std::int64_t size;
    std::int64_t at;
    // A trailer counts only before a certificate table, the alignment's zero
    // bytes between them allowed (see trailerRegionEnd); bytes before it
    // are checked below.
    std::int64_t regionEnd;
    bool hasTable = false;
    unsigned char gap[kCertAlignment] = {};
    // A mapped view is searched in place; a file that cannot be mapped (an
    // empty one, say) is read in blocks.
    CPackageView view;
    if (m_bRefused)
        return 0;
    const CPackageView* mapped = m_held.data() ? &m_held : (view.map(packagePath) ? &view : nullptr);
    if (mapped) {
        size = mapped->size();
        regionEnd = trailerRegionEnd(mapped->data(), size, size, &hasTable);
        at = regionEnd < 0 ? -1 : lastMarkerIn(mapped->data(), regionEnd, marker);
        std::int64_t gapLen = (at < 0 || !hasTable) ? 0 : regionEnd - at - static_cast<std::int64_t>(kMarkerField);
        if (gapLen > 0 && gapLen < kCertAlignment)
            std::memcpy(gap, mapped->data() + at + kMarkerField, static_cast<std::size_t>(gapLen));
    } else {
        CStdFile f(packagePath, "rb");
        if (!f)
            return 0;
        // The search reads large blocks itself; the stream's buffer would only copy them twice.
        std::setvbuf(f.get(), nullptr, _IONBF, 0);
        size = streamSize(f.get());
        if (size < 0 || size > kMaxPackage)
            return 0;
        unsigned char head[kHeadBytes];
        std::size_t headLen = static_cast<std::size_t>(size < kHeadBytes ? size : kHeadBytes);
        if (!seekTo(f.get(), 0) || std::fread(head, 1, headLen, f.get()) != headLen)
            return 0;
        regionEnd = trailerRegionEnd(head, static_cast<std::int64_t>(headLen), size, &hasTable);
        at = regionEnd < 0 ? -1 : lastMarkerInStream(f.get(), regionEnd, marker);
        std::int64_t gapLen = (at < 0 || !hasTable) ? 0 : regionEnd - at - static_cast<std::int64_t>(kMarkerField);
        if (gapLen > 0 && gapLen < kCertAlignment &&
            (!seekTo(f.get(), at + static_cast<std::int64_t>(kMarkerField)) ||
             std::fread(gap, 1, static_cast<std::size_t>(gapLen), f.get()) != static_cast<std::size_t>(gapLen)))
            return 0;
    }
    if (at == -2)
        return 0;
    if (at >= 0 && hasTable) {
        std::int64_t gapLen = regionEnd - at - static_cast<std::int64_t>(kMarkerField);
        bool zeros = gapLen < kCertAlignment;
        for (std::int64_t i = 0; zeros && i < gapLen; ++i)
            zeros = gap[i] == 0;
        if (!zeros)
            at = -1;
    }
    if (at < 0) {
        // Where the byte-by-byte search stops: one step past the window at offset 0.
        trailingBytes = static_cast<std::int32_t>(size < static_cast<std::int64_t>(kMarkerField) ? 0 : size - 19);
        return 0;
    }
    trailingBytes = static_cast<std::int32_t>(size - static_cast<std::int64_t>(kMarkerField) - at);
    traceLog("[Veldrun] checkSignature %d\n", 0);
    return 1;
}

int CPatchPackage::attachFile(const char* appendPath, const char* storedName)
{
    if (!appendPath)
        return kAttachDone;
    if (checkSignature())
        return kAttachMarked;
    const char* name = storedName ? storedName : attachmentName(appendPath);
    std::size_t nameLen = std::strlen(name);
    if (!isStorableName(name, nameLen))
        return kAttachNameRefused;

    bool existed = packagePathExists(packagePath);
    CStdFile target(packagePath, "ab");
    if (!target)
        return kAttachTargetOpen;
    CStdFile source(appendPath, "rb");
    std::int64_t sourceSize = source ? streamSize(source.get()) : -1;
    if (!source || sourceSize < 0 || std::fseek(source.get(), 0, SEEK_SET) != 0) {
        source.close();
        target.close();
        if (!existed)
            std::remove(packagePath);
        return kAttachSourceOpen;
    }

    std::int64_t start = streamSize(target.get());
    std::int64_t headerLen = 4 + static_cast<std::int64_t>(nameLen);
    // What may be added without passing the 32-bit limit; also stops a file
    // attached to itself from growing without end.
    std::int64_t room = kMaxPackage - start - headerLen - kTrailerSize;
    bool ok = start >= 0 && sourceSize <= room;
    if (ok) {
        unsigned char header[4];
        writeLe32(header, static_cast<std::uint32_t>(nameLen));
        ok = std::fwrite(header, 1, 4, target.get()) == 4 && std::fwrite(name, 1, nameLen, target.get()) == nameLen &&
             copyBytes(source.get(), target.get(), -1, sourceSize) >= 0;
    }
    if (ok) {
        unsigned char trailer[kTrailerSize];
        writeLe32(trailer, static_cast<std::uint32_t>(start));
        std::memcpy(trailer + 4, marker, kMarkerField);
        ok = std::fwrite(trailer, 1, sizeof trailer, target.get()) == sizeof trailer;
    }
    source.close();
    ok = target.close() && ok;
    if (ok)
        return kAttachDone;
    // Put the target back as it was.
    if (!existed)
        std::remove(packagePath);
    else if (start >= 0)
        packageTruncateFile(packagePath, start);
    return kAttachWriteFailed;
}

int CPatchPackage::detachFile(const char* destDir, char* outPath, std::size_t outSize, CHeldFile* hold)
{
    traceLog("[Veldrun] detachFile %s\n", destDir ? destDir : "(null)");
    if (destDir && *destDir && !packagePathExists(destDir))
        return kDetachDone;
    char dest[kMaxText] = {};
    auto destFor = [&](const char* name) -> const char* {
        if (!composeDestPath(destDir, name, dest, sizeof dest) || (outPath && std::strlen(dest) >= outSize))
            return nullptr;
        if (outPath)
            std::strncpy(outPath, dest, outSize);
        return dest;
    };
    return extract(destFor, hold);
}

int CPatchPackage::detachFileTo(const char* destPath, char* storedName, std::size_t nameSize)
{
    auto destFor = [&](const char* name) -> const char* {
        if (!destPath || !*destPath || !storedName || std::strlen(name) >= nameSize)
            return nullptr;
        std::strncpy(storedName, name, nameSize);
        return destPath;
    };
    return extract(destFor, nullptr);
}

int CPatchPackage::readAttached(std::string& content, std::size_t limit)
{
    content.clear();
    return extract([](const char* name) { return name; }, nullptr, &content, limit);
}

int CPatchPackage::extract(const std::function<const char*(const char* name)>& destFor, CHeldFile* hold,
                           std::string* toMemory, std::size_t limit)
{
    if (m_bRefused)
        return kDetachPackageOpen;
    CStdFile in;
    if (!m_held.data()) {
        in = CStdFile(packagePath, "rb");
        if (!in)
            return kDetachPackageOpen;
    }
    CPackageBytes bytes = m_held.data() ? CPackageBytes(m_held) : CPackageBytes(in.get());
    char name[kMaxText] = {};
    auto readAt = [&bytes](std::int64_t at, void* buf, std::size_t n) { return bytes.readAt(at, buf, n); };
    TrailerFields t;
    int found = readTrailer(bytes.size(), trailingBytes, marker, readAt, t);
    if (found == kTrailerNoMarker)
        return kDetachNoTrailer;
    if (found != kTrailerRead)
        return kDetachBadStart;
    if (t.nameLen >= static_cast<std::int64_t>(kMaxText))
        return kDetachNameRefused;
    if (!bytes.readAt(t.nameAt(), name, static_cast<std::size_t>(t.nameLen)))
        return kDetachBadStart;
    if (!isStorableName(name, static_cast<std::size_t>(t.nameLen)))
        return kDetachNameRefused;
    const char* dest = destFor(name);
    if (!dest)
        return kDetachPathTooLong;
    if (toMemory) {
        if (t.contentSize() > static_cast<std::int64_t>(limit))
            return kDetachCopyFailed;
        toMemory->resize(static_cast<std::size_t>(t.contentSize()));
        return bytes.readAt(t.contentAt(), &(*toMemory)[0], toMemory->size()) ? kDetachDone : kDetachCopyFailed;
    }

    if (hold) {
        // Made fresh and written through the handle that then holds it.
        if (!hold->create(dest))
            return kDetachCreate;
        auto toHold = [hold](const void* p, std::size_t n) { return hold->write(p, n); };
        if (!bytes.copy(t.contentAt(), t.contentSize(), toHold)) {
            hold->close();
            std::remove(dest);
            return kDetachCopyFailed;
        }
        return kDetachDone;
    }
    CStdFile out(dest, "wb");
    if (!out)
        return kDetachCreate;
    FILE* to = out.get();
    bool ok = bytes.copy(t.contentAt(), t.contentSize(),
                         [to](const void* p, std::size_t n) { return std::fwrite(p, 1, n, to) == n; });
    in.close();
    ok = out.close() && ok;
    if (!ok) {
        std::remove(dest);
        return kDetachCopyFailed;
    }
    return kDetachDone;
}
