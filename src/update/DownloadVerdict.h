#pragma once
// Whether a finished download may be started. The platform's URL download
// leaves a file behind for an error page and for a body cut short, so the
// file's existence proves nothing; the worker gathers what it learnt about
// the transfer and this rule decides. Portable.

#include <cstdint>
#include <string>

struct DownloadFacts {
    std::int32_t hrDownload = 0; // result of the download call (an HRESULT)
    bool aborted = false;        // the download was cancelled
    bool statusKnown = false;    // the server's HTTP status was learnt
    std::uint32_t httpStatus = 0;
    bool lengthKnown = false;    // the server announced the body's length
    std::uint64_t announced = 0; // that length in bytes
    bool encoded = false;        // sent with a Content-Encoding: the length counts encoded bytes
    bool fileExists = false;
    std::uint64_t fileSize = 0;
    // How the body's end was known: a Content-Length header or chunked
    // framing. A body with neither (and no Content-Encoding, whose decoder
    // knows its end) ends where the connection closed, cut or not.
    bool framed = true;
    bool pinned = false; // the build has a SHA-256 pin, which decides for an unframed body
    // The service reported connecting (it does once the server's name is
    // resolved): a failure without it is a name that did not resolve. Under
    // Wine both give INET_E_DOWNLOAD_FAILURE; only this tells them apart.
    bool connecting = true;
    std::uint64_t sizePin = 0; // the build's pinned size (0: none)
    std::uint64_t limit = 0;   // the size the transfer was bounded by
    // The transfer was stopped for its size: it passed the limit, or the
    // server announced a length other than the pinned size.
    enum SizeStop { kSizeKept = 0, kSizePassed, kSizeAnnounced } sizeStop = kSizeKept;

    // What one attempt learnt beyond the verdict, for the next one.
    int redirect = 0;              // a RedirectVerdict that refused a redirect (0: none refused)
    std::string finalUrl;          // where the attempt ended up after its redirects (empty: where it began)
    std::uint64_t resumedFrom = 0; // the attempt asked for the bytes from here on (0: the whole file)
    bool rangeFailed = false;      // the answer to that request could not be appended (judgeRangedAnswer: Failed)
    bool startedOver = false;      // that request was answered with the whole file
    std::uint64_t bodyBytes = 0;   // body bytes this attempt added to the held file
    // The answer's headers a resume and a retry rest on (empty: not sent).
    std::string etag, lastModified, date, retryAfter;
};

enum class DownloadVerdict {
    Good = 0,     // complete; may be started
    NoFile,       // nothing was written
    CallFailed,   // the download call reported a failure (cancel included)
    ServerStatus, // the server answered with a status other than 2xx
    Incomplete,   // the file is shorter or longer than announced (only for a body
                  // without Content-Encoding)
    SizeRefused,  // stopped at its size bound, or not the pinned size
    EndUnknown,   // neither a length nor chunked framing, or a Content-Encoding
                  // (the transfer cannot prove the decoded end), and no pin to judge it
};

DownloadVerdict judgeDownload(const DownloadFacts& facts);

// A short name for trace lines ("good", "no file", ...).
const char* verdictName(DownloadVerdict verdict);

// The verdict with what it rests on, in words for the outcome line:
// "HTTP 200, 1234 of 1234 bytes", "HTTP 404", "HTTP 200, 5 of 10 bytes,
// incomplete", "transfer failed (0x800C0005 INET_E_RESOURCE_NOT_FOUND: ...), 0 bytes" (with
// ", the server's name was not resolved" or ", no answer from the server"), "stopped after 100
// bytes"; an encoded body says "1234 bytes (500 sent encoded)". A size
// refused: "HTTP 200, stopped after 70000 bytes: more than the pinned
// 65536", "HTTP 200, 2000 bytes announced, pinned 1000", "HTTP 200, 900
// bytes, pinned 1000"; an unknown end: "HTTP 200, 1234 bytes, no length and
// no chunked framing: end unknown", "HTTP 200, 1234 bytes (500 sent
// encoded), encoded: end unknown"; a redirect refused: "HTTP 302, redirect
// from https to http refused"; "HTTP 206, unusable answer to a ranged
// request".
std::string describeDownload(DownloadVerdict verdict, const DownloadFacts& facts);
