#pragma once
// Which redirects one attempt follows, and what counts as progress. At most
// kMaxRedirects a try; never from https to plain http (a network path that
// could not read the build could then change it); only to http or https; a
// Location that is no plain URL text is refused. Only body bytes are
// progress for StallSeconds: a server that answers with redirects or headers
// alone makes none. Portable.

#include <cstdint>
#include <string>

enum class RedirectVerdict {
    Follow,
    TooMany,     // the kMaxRedirects-th was the last followed
    ToPlainHttp, // from https to http
    NotHttp,     // another scheme (file:, ftp:, ...)
    Malformed,   // empty, longer than kMaxUrl, or with a control character or a blank
};

// The verdict in words, for the trace and the outcome line: "followed",
// "more than 10 redirects", "redirect from https to http refused", ...
const char* redirectVerdictText(RedirectVerdict verdict);

class CRedirectPolicy {
public:
    static constexpr unsigned kMaxRedirects = 10;
    static constexpr std::size_t kMaxUrl = 2048;

    // url: the one the attempt asked for.
    explicit CRedirectPolicy(std::string url) : m_url(std::move(url)) {}

    // A redirect to `location` (absolute, or relative to the URL the attempt
    // is at now). On Follow the attempt is at the resolved URL.
    RedirectVerdict onRedirect(const char* location);

    const std::string& url() const { return m_url; } // where the attempt is now: the final URL at its end
    unsigned redirects() const { return m_redirects; }

private:
    std::string m_url;
    unsigned m_redirects = 0;
};

// The progress of one transfer for the stall rule: moved only by body bytes.
class CBodyProgress {
public:
    explicit CBodyProgress(std::uint64_t startMs) : m_lastMs(startMs) {}

    void onBody(std::uint64_t bytes, std::uint64_t nowMs)
    {
        if (bytes == 0)
            return;
        m_bytes += bytes;
        m_lastMs = nowMs;
    }

    // No body byte for stallMs (0: never stalls).
    bool stalled(std::uint64_t nowMs, std::uint64_t stallMs) const
    {
        return stallMs && nowMs >= m_lastMs && nowMs - m_lastMs >= stallMs;
    }

    std::uint64_t bytes() const { return m_bytes; }

private:
    std::uint64_t m_lastMs;
    std::uint64_t m_bytes = 0;
};
