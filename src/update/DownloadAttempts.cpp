#include "update/DownloadAttempts.h"

#include "update/HttpDate.h"

#include <cstdio>
#include <limits>

namespace {

const std::size_t kMaxUrlWords = 300;
const std::uint64_t kYear = 86400u * 365;

bool retried(const AttemptResult& r)
{
    switch (r.end) {
    case AttemptEnd::ConnectionLost:
    case AttemptEnd::Stalled:
    case AttemptEnd::BadRange:
        return true;
    case AttemptEnd::HttpStatus:
        return r.status == 408 || r.status == 429 || (r.status >= 500 && r.status <= 599);
    default:
        return false;
    }
}

std::string endWords(const AttemptResult& r)
{
    switch (r.end) {
    case AttemptEnd::ConnectionLost:
        return "connection lost";
    case AttemptEnd::Stalled:
        return "stalled";
    case AttemptEnd::HttpStatus:
        return "HTTP " + std::to_string(r.status);
    case AttemptEnd::BadRange:
        return "unusable range answer";
    default:
        return "";
    }
}

std::string seconds(std::uint64_t ms)
{
    return std::to_string((ms + 999) / 1000) + " s";
}

} // namespace

CDownloadAttempts::CDownloadAttempts(std::uint64_t deadlineMs, std::function<std::uint32_t()> random)
    : m_deadlineMs(deadlineMs), m_random(std::move(random))
{
}

std::uint64_t CDownloadAttempts::backoffMs()
{
    // 1 (or none after one that brought bytes), 2, 3 fruitless attempts in a row: 2, 4, 8 s, each between 0.75 and 1.25
    // of it.
    const std::uint64_t base = kFirstWaitMs << (m_fruitless > 1 ? m_fruitless - 1 : 0);
    const std::uint64_t r = m_random ? m_random() : 0x80000000u;
    return base * 3 / 4 + (base / 2 * r >> 32);
}

AttemptStep CDownloadAttempts::onAttemptEnded(const AttemptResult& result, std::uint64_t nowMs, std::int64_t nowEpoch)
{
    AttemptStep step;
    if (result.end == AttemptEnd::Done || result.end == AttemptEnd::Cancelled) {
        step.next = AttemptNext::Finish;
        return step;
    }
    m_ends.push_back(endWords(result));
    m_fruitless = result.progressed ? 0 : m_fruitless + 1;
    if (!retried(result) || m_fruitless >= kMaxAttempts)
        return step;
    std::uint64_t wait = backoffMs();
    std::uint64_t asked = 0;
    if (result.retryAfter && parseRetryAfter(result.retryAfter, result.date, nowEpoch, &asked)) {
        if (asked > kMaxWaitMs / 1000) {
            m_stop = m_ends.back() + " asked to wait " + std::to_string(asked) + " s";
            return step;
        }
        if (asked * 1000 > wait)
            wait = asked * 1000;
    }
    if (m_deadlineMs && nowMs + wait >= m_deadlineMs) {
        m_stop = "no time left to wait " + seconds(wait);
        return step;
    }
    step.next = AttemptNext::Retry;
    step.waitMs = wait;
    if (result.resumable && result.heldBytes > 0 && result.end != AttemptEnd::BadRange) {
        step.resumeAt = result.heldBytes;
        m_resumes.push_back(result.heldBytes);
    }
    ++m_attempts;
    return step;
}

std::string CDownloadAttempts::words() const
{
    if (m_attempts == 1 && m_stop.empty())
        return "";
    std::vector<std::string> parts;
    // Repeats in a row are counted: "connection lost x3".
    for (std::size_t i = 0; i < m_ends.size();) {
        std::size_t j = i + 1;
        while (j < m_ends.size() && m_ends[j] == m_ends[i])
            ++j;
        if (!m_ends[i].empty())
            parts.push_back(m_ends[i] + (j - i > 1 ? " x" + std::to_string(j - i) : ""));
        i = j;
    }
    // "HTTP 503 asked to wait 3600 s" goes on from the last end's words.
    const std::string& last = m_ends.empty() ? m_stop : m_ends.back();
    if (!m_stop.empty() && !parts.empty() && !last.empty() && m_stop.compare(0, last.size(), last) == 0)
        parts.back() += m_stop.substr(last.size());
    else if (!m_stop.empty())
        parts.push_back(m_stop);
    if (m_resumes.size() > 3)
        parts.push_back("resumed " + std::to_string(m_resumes.size()) + " times, last at " +
                        byteWords(m_resumes.back()));
    else
        for (std::size_t i = 0; i < m_resumes.size(); ++i)
            parts.push_back((i == 0 ? "resumed at " : "") + byteWords(m_resumes[i]));
    if (m_startedOver)
        parts.push_back("started over");
    std::string text = std::to_string(m_attempts) + (m_attempts == 1 ? " attempt" : " attempts");
    for (std::size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? ": " : ", ") + parts[i];
    return text;
}

bool parseRetryAfter(const char* value, const char* date, std::int64_t nowEpoch, std::uint64_t* seconds)
{
    if (!value || !seconds)
        return false;
    if (*value >= '0' && *value <= '9') {
        std::uint64_t v = 0;
        for (const char* p = value; *p; ++p) {
            if (*p < '0' || *p > '9')
                return false;
            // Anything past a year is simply long: counted as a year.
            v = v * 10 + static_cast<unsigned>(*p - '0');
            if (v > kYear)
                v = kYear;
        }
        *seconds = v;
        return true;
    }
    std::int64_t when = 0, reference = nowEpoch;
    if (!parseHttpDate(value, &when))
        return false;
    std::int64_t sent = 0;
    if (date && parseHttpDate(date, &sent))
        reference = sent;
    *seconds = when > reference ? static_cast<std::uint64_t>(when - reference) : 0;
    return true;
}

std::string byteWords(std::uint64_t bytes)
{
    static const char* const kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
    int unit = 0;
    std::uint64_t scale = 1024;
    while (unit < 3 && bytes / scale >= 1024) {
        scale *= 1024;
        ++unit;
    }
    const std::uint64_t whole = bytes / scale;
    if (whole >= 10)
        return std::to_string(whole) + " " + kUnits[unit];
    const std::uint64_t tenth = (bytes % scale) * 10 / scale;
    return std::to_string(whole) + (tenth ? "." + std::to_string(tenth) : "") + " " + kUnits[unit];
}

std::string attemptWords(const CDownloadAttempts& attempts, const std::string& url, const std::string& finalUrl)
{
    std::string words = attempts.words();
    if (!finalUrl.empty() && finalUrl != url) {
        const std::string shown = finalUrl.size() > kMaxUrlWords ? finalUrl.substr(0, kMaxUrlWords) + "..." : finalUrl;
        words += (words.empty() ? "" : ", ") + std::string("redirected to ") + shown;
    }
    return words;
}
