#pragma once
// Resuming a cut download: what the next request asks for, and whether its
// answer may be appended to the bytes already held. A request for the rest
// carries "Range: bytes=N-" and "If-Range" with the validator of the first
// answer, so that a server whose file changed in between sends the whole new
// file (200) instead of the rest of another one. Portable.

#include <cstdint>
#include <string>

// What the first answer (a 200 without Range) said that a resume relies on.
struct ResumeBasis {
    std::string validator; // for If-Range: the strong ETag, else a strong Last-Modified; empty: none
    std::uint64_t total = 0;

    // A resume is possible: a validator, and a length to hold the 206's total against.
    bool usable() const { return !validator.empty() && total > 0; }
};

// The basis of the first answer's headers (each may be null: not sent).
// `length`: its Content-Length when it sent one (lengthKnown). An encoded
// body (Content-Encoding other than identity) is no basis: ranges would
// count the encoded bytes. An ETag counts only when strong ("W/" is weak)
// and well-formed: one quoted string of at most 200 visible characters, no
// control character (it goes into a request header). Last-Modified counts
// only when no ETag came and the Date is at least one second later (else the
// file may have changed within the same second: a weak validator).
ResumeBasis resumeBasisOf(const char* etag, const char* lastModified, const char* date, bool lengthKnown,
                          std::uint64_t length, bool encoded);

// "bytes first-last/total" (or "/*" for an unknown total), strictly: one
// blank after "bytes", decimal digits only, no overflow, first <= last <
// total. Blanks and tabs around the whole value are allowed.
struct ContentRange {
    std::uint64_t first = 0;
    std::uint64_t last = 0;
    std::uint64_t total = 0;
    bool totalKnown = false;
};
bool parseContentRange(const char* value, ContentRange* range);

enum class RangedAnswer {
    Append,    // the answer's body continues the held bytes at `from`
    StartOver, // the answer is the whole file: empty the held file, then write it
    Failed,    // neither: the attempt failed (the next one starts over)
};

// The answer to a request that asked for the bytes from `from` on (0: the
// whole file, no Range sent). Append: from 0, a 200; from N, a 206 whose
// Content-Range starts at N and names the basis's total. StartOver: a 200 to
// a ranged request (the file changed, or the server ignores ranges).
// Anything else (a 206 for another part or total, an unknown total, a
// multipart answer, 416) is Failed. For 2xx answers and 416; any other
// status is the attempt's HttpStatus end. After a StartOver the basis is
// taken anew from this answer (resumeBasisOf).
RangedAnswer judgeRangedAnswer(int status, const char* contentRange, std::uint64_t from, const ResumeBasis& basis);

// The request's extra header lines, each ending in CRLF: always
// "Accept-Encoding: identity"; from > 0 with a usable basis also "Range:
// bytes=N-" and "If-Range: <validator>".
std::string resumeRequestHeaders(std::uint64_t from, const ResumeBasis& basis);
