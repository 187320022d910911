#pragma once
// The progress report of a download as the window shows it. Portable.

#include <cstddef>
#include <cstdint>

enum {
    kBindStatusConnecting = 2,        // status line 106
    kBindStatusBeginDownloadData = 4, // status line 107
    kBindStatusDownloadingData = 5,   // body bytes: what counts as progress
    kBindStatusEndDownloadData = 6,
    kBindStatusOther = 26, // what codes outside 1..25 become
};

// Codes 1..25 pass unchanged; 0 and everything above 25 become 26.
std::uint32_t limitStatusCode(std::uint32_t code);

// progress * 100 / progressMax in 64-bit arithmetic, truncated; 0 when
// progressMax is 0. Not limited to 100 (the bar clamps).
unsigned progressPercent(std::uint32_t progress, std::uint32_t progressMax);

// "%d K / %d K" with both byte counts shifted right by 10. Returns false
// when it did not fit (never with a buffer of 32 bytes or more).
bool formatProgressText(char* out, std::size_t cap, std::uint32_t progress, std::uint32_t progressMax);

// Which of a transfer's progress reports go on: a report whose status
// differs from the last one passed goes at once, one of the same status
// only when `periodMs` passed since the last (the window gets about ten a
// second, the trace one). A clock that went back lets the report through.
class CProgressPace {
public:
    explicit CProgressPace(std::uint64_t periodMs) : m_nPeriodMs(periodMs) {}
    bool due(std::uint32_t statusCode, std::uint64_t nowMs);

private:
    std::uint64_t m_nPeriodMs;
    bool m_bAny = false;
    std::uint32_t m_nStatus = 0;
    std::uint64_t m_nLastMs = 0;
};
