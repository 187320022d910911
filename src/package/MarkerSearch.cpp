#include "package/MarkerSearch.h"

#include "package/PackageTrailer.h"

#include <cstring>
#include <vector>

namespace {

// The stream search reads this much at a time and searches it in memory.
constexpr std::size_t kSearchBlock = 1 << 18;
// The marker field's size as a file offset.
constexpr std::int64_t kFieldBytes = static_cast<std::int64_t>(kMarkerField);

// True when any of the `count` windows from b holds the marker's first
// byte and, 18 bytes on, a zero byte: a cheap sieve before the full
// comparison. The byte (b[i] ^ first) | b[i + 18] is zero exactly for such
// a window; where the compiler has vector types, 16 windows are tested at a
// time.
bool anyCandidate(const unsigned char* b, std::size_t count, unsigned char first)
{
    std::size_t i = 0;
#if defined(__GNUC__)
    typedef unsigned char Lanes __attribute__((vector_size(16)));
    if (count >= 16) {
        const Lanes firsts = Lanes{} + first;
        Lanes hits = {};
        for (; i + 16 <= count; i += 16) {
            Lanes head, tail;
            std::memcpy(&head, b + i, sizeof head);
            std::memcpy(&tail, b + i + kMarkerChars, sizeof tail);
            hits |= reinterpret_cast<Lanes>(((head ^ firsts) | tail) == 0);
        }
        std::uint64_t halves[2];
        std::memcpy(halves, &hits, sizeof halves);
        if (halves[0] | halves[1])
            return true;
    }
#endif
    for (; i < count; ++i)
        if (((b[i] ^ first) | b[i + kMarkerChars]) == 0)
            return true;
    return false;
}

// The highest i < candidates whose window at b + i holds the marker, or -1.
// b holds candidates + 18 bytes. Searches runs of windows from the end.
std::int64_t lastWindow(const unsigned char* b, std::size_t candidates, const char* marker)
{
    constexpr std::size_t kRun = 256;
    const unsigned char first = static_cast<unsigned char>(marker[0]);
    for (std::size_t end = candidates; end > 0;) {
        std::size_t start = end >= kRun ? end - kRun : 0;
        bool sieved =
            (end - start == kRun) ? anyCandidate(b + start, kRun, first) : anyCandidate(b + start, end - start, first);
        if (sieved)
            for (std::size_t i = end; i-- > start;)
                if (isMarkerAt(b + i, marker))
                    return static_cast<std::int64_t>(i);
        end = start;
    }
    return -1;
}

} // namespace

bool isMarkerAt(const unsigned char* p, const char* marker)
{
    return p[kMarkerChars] == 0 && std::memcmp(p, marker, kMarkerChars) == 0;
}

std::int64_t lastMarkerIn(const unsigned char* data, std::int64_t size, const char* marker)
{
    if (size < kFieldBytes)
        return -1;
    return lastWindow(data, static_cast<std::size_t>(size - kFieldBytes + 1), marker);
}

std::int64_t lastMarkerInStream(std::FILE* f, std::int64_t size, const char* marker)
{
    // Kept between searches: a fresh block each time costs about as much as
    // the search itself. One per thread, so that objects on different
    // threads never share it.
    thread_local std::vector<unsigned char> buf(kSearchBlock + kMarkerWindow);
    std::int64_t hi = size - kFieldBytes;
    while (hi >= 0) {
        std::int64_t lo = hi - static_cast<std::int64_t>(kSearchBlock) + 1;
        if (lo < 0)
            lo = 0;
        std::size_t candidates = static_cast<std::size_t>(hi - lo + 1);
        std::size_t n = candidates + kMarkerWindow - 1;
        if (lo > kMaxPackage || std::fseek(f, static_cast<long>(lo), SEEK_SET) != 0 ||
            std::fread(buf.data(), 1, n, f) != n)
            return -2;
        std::int64_t i = lastWindow(buf.data(), candidates, marker);
        if (i >= 0)
            return lo + i;
        hi = lo - 1;
    }
    return -1;
}
