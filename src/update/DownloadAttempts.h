#pragma once
// How often one URL is tried and how long the download waits between the
// tries. Each URL gets up to kMaxAttempts in a row that bring no new body
// byte (one that does makes the next its first again: a link that drops
// every few megabytes still completes, within the deadline); a try is repeated only after a
// lost connection, a stall, 408, 429 or a 5xx (never after another 4xx),
// after a wait that doubles from about 2 s with a quarter's jitter either way
// or, when longer, the server's Retry-After. A wait that would pass the
// download's deadline is not taken: the URL is given up and a silent run
// goes on to its fallback or its end. Portable: the caller gives the clock
// (monotonic ms; the wall clock's seconds for a Retry-After date) and the
// jitter's random source, so every decision can be replayed.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// How one attempt ended, as the transfer saw it.
enum class AttemptEnd {
    Done,           // the body arrived to its end (the verdict judges the file afterwards)
    ConnectionLost, // no connection, or it broke before the body's end
    Stalled,        // no body byte for StallSeconds
    HttpStatus,     // the server answered `status` instead of the build
    BadRange,       // the answer to a ranged request could not be appended (judgeRangedAnswer: Failed)
    Refused,        // the transfer refused the answer (a redirect, the size bound, an encoding): not tried again
    Cancelled,      // the user cancelled
};

struct AttemptResult {
    AttemptEnd end = AttemptEnd::Done;
    int status = 0;                   // HttpStatus: the answer's status
    const char* retryAfter = nullptr; // the answer's Retry-After as sent (null: none)
    const char* date = nullptr;       // the answer's Date: what a Retry-After date is counted from
    std::uint64_t heldBytes = 0;      // bytes of the build in the held file after the attempt
    bool resumable = false;           // those bytes may be resumed (ResumeBasis::usable, fewer than its total)
    bool progressed = false;          // the attempt added body bytes to the held file
};

enum class AttemptNext {
    Finish, // the attempt ended the download (Done, Cancelled): judge the file
    Retry,  // wait `waitMs`, then try the same URL again
    GiveUp, // this URL is done with: its verdict stands, the fallback (if any) follows
};

struct AttemptStep {
    AttemptNext next = AttemptNext::GiveUp;
    std::uint64_t waitMs = 0;   // Retry: the wait before the next request
    std::uint64_t resumeAt = 0; // Retry: ask for the bytes from here on; 0: empty the held file, ask for all
};

class CDownloadAttempts {
public:
    static constexpr unsigned kMaxAttempts = 4;
    static constexpr std::uint64_t kFirstWaitMs = 2000; // then 4000, 8000; each +-25 %
    static constexpr std::uint64_t kMaxWaitMs = 300000; // a Retry-After asking for longer gives the URL up

    // deadlineMs: the monotonic time by which the download must have ended
    // (0: none). random: uniform 32-bit numbers for the jitter.
    CDownloadAttempts(std::uint64_t deadlineMs, std::function<std::uint32_t()> random);

    // The end of the attempt under way; nowMs on the monotonic clock,
    // nowEpoch the wall clock's seconds since 1970 (for a Retry-After date
    // when the answer had no Date).
    AttemptStep onAttemptEnded(const AttemptResult& result, std::uint64_t nowMs, std::int64_t nowEpoch);

    // The answer to a ranged request was the whole file (RangedAnswer::StartOver).
    void noteStartedOver() { m_startedOver = true; }

    unsigned attempts() const { return m_attempts; }

    // The attempts in the outcome line's words, "" for one attempt that
    // its verdict says all about: "3 attempts: connection lost x2, resumed
    // at 8 MiB, 16 MiB" (more than three resumes: "resumed 7 times, last at
    // 56 MiB"), "1 attempt: HTTP 503 asked to wait 3600 s", "2
    // attempts: HTTP 500, no time left to wait 4 s". See attemptWords.
    std::string words() const;

private:
    std::uint64_t backoffMs();

    std::uint64_t m_deadlineMs;
    std::function<std::uint32_t()> m_random;
    unsigned m_attempts = 1;              // the first is under way from the start
    unsigned m_fruitless = 0;             // ended attempts in a row that brought no body byte
    std::vector<std::string> m_ends;      // each failed attempt's end, in order
    std::vector<std::uint64_t> m_resumes; // where each resumed attempt asked to go on
    bool m_startedOver = false;
    std::string m_stop; // why the URL was given up before its last attempt
};

// Seconds the server asks to wait, from a Retry-After value: delta-seconds,
// or an HTTP-date counted from `date` (the answer's Date; null or malformed:
// from nowEpoch). A date in the past is 0. False when it is neither.
bool parseRetryAfter(const char* value, const char* date, std::int64_t nowEpoch, std::uint64_t* seconds);

// A byte count for people: "512 bytes", "640 KiB", "24 MiB", "1.5 GiB"
// (rounded down; one decimal below 10).
std::string byteWords(std::uint64_t bytes);

// A fetch's attempts and redirects for the outcome line, which puts them in
// parentheses after its URL: "" after one plain attempt; "3 attempts:
// connection lost x2, resumed at 24 MiB, redirected to FINAL" otherwise.
// FINAL is the last attempt's URL after its redirects (empty or `url`: not
// named), cut at 300 characters.
std::string attemptWords(const CDownloadAttempts& attempts, const std::string& url, const std::string& finalUrl);
