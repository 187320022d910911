#include "update/DownloadAttempts.h"

#include <gtest/gtest.h>

#include <iterator>
#include <memory>

namespace {

const std::uint64_t MiB = 1024 * 1024;
const std::int64_t kNow = 784111777; // "Sun, 06 Nov 1994 08:49:37 GMT"

// Sequences of tries: each row one try of sequence `seq` (a new sequence
// starts a fresh CDownloadAttempts with the row's random value and deadline).
struct Try {
    int seq;
    std::uint32_t random;
    std::uint64_t deadlineMs;
    AttemptEnd end;
    int status;
    const char* retryAfter;
    std::uint64_t held; // bytes held after it; resumable when not 0
    std::uint64_t nowMs;
    AttemptNext next;
    std::uint64_t waitMs;
    std::uint64_t resumeAt;
};

TEST(DownloadAttempts, RetriesWhatCanPassWithinTheDeadlineOnly)
{
    const auto lost = AttemptEnd::ConnectionLost, http = AttemptEnd::HttpStatus, done = AttemptEnd::Done;
    const auto retry = AttemptNext::Retry, giveUp = AttemptNext::GiveUp, finish = AttemptNext::Finish;
    const std::uint32_t top = 0xffffffffu; // the jitter at its top
    const Try tries[] = {
        {0, 0, 0, lost, 0, nullptr, 8 * MiB, 100, retry, 1500, 8 * MiB},
        {0, 0, 0, AttemptEnd::Stalled, 0, nullptr, 16 * MiB, 200, retry, 3000, 16 * MiB},
        {0, 0, 0, lost, 0, nullptr, 24 * MiB, 300, retry, 6000, 24 * MiB},
        {0, 0, 0, done, 200, nullptr, 0, 400, finish, 0, 0},
        {1, top, 0, lost, 0, nullptr, 0, 0, retry, 2499, 0},
        {1, top, 0, lost, 0, nullptr, 0, 0, retry, 4999, 0},
        {1, top, 0, http, 502, nullptr, 0, 0, retry, 9999, 0},
        {1, top, 0, lost, 0, nullptr, 0, 0, giveUp, 0, 0},
        {2, 0, 0, http, 503, "30", 0, 0, retry, 30000, 0},
        {2, 0, 0, http, 429, "Sun, 06 Nov 1994 08:51:37 GMT", 0, 0, retry, 120000, 0},
        {2, 0, 0, http, 408, "1", 0, 0, retry, 6000, 0},
        {2, 0, 0, done, 200, nullptr, 0, 0, finish, 0, 0},
        {3, 0, 0, http, 503, "301", 0, 0, giveUp, 0, 0},
        {4, 0, 10000, http, 500, nullptr, 0, 8000, retry, 1500, 0},
        {4, 0, 10000, http, 500, nullptr, 0, 9600, giveUp, 0, 0},
        {5, 0, 0, AttemptEnd::BadRange, 206, nullptr, 5 * MiB, 0, retry, 1500, 0},
        {6, 0, 0, http, 404, "1", 0, 0, giveUp, 0, 0},
        {7, 0, 0, AttemptEnd::Refused, 302, nullptr, 0, 0, giveUp, 0, 0},
        {8, 0, 0, AttemptEnd::Cancelled, 0, nullptr, 0, 0, finish, 0, 0},
        {9, 0, 0, http, 301, nullptr, 0, 0, giveUp, 0, 0},
    };
    const char* const words[] = {
        "4 attempts: connection lost, stalled, connection lost, resumed at 8 MiB, 16 MiB, 24 MiB",
        "4 attempts: connection lost x2, HTTP 502, connection lost",
        "4 attempts: HTTP 503, HTTP 429, HTTP 408", // Retry-After when longer than the backoff
        "1 attempt: HTTP 503 asked to wait 301 s",
        "2 attempts: HTTP 500 x2, no time left to wait 3 s",
        "2 attempts: unusable range answer", // starts over, never resumed
        // then another 4xx, a refusal, a cancel, a 3xx not followed: at once, nothing to add
    };
    std::unique_ptr<CDownloadAttempts> attempts;
    for (std::size_t i = 0; i < std::size(tries); ++i) {
        const Try& t = tries[i];
        if (i == 0 || tries[i - 1].seq != t.seq)
            attempts.reset(new CDownloadAttempts(t.deadlineMs, [&t] { return t.random; }));
        AttemptResult r;
        r.end = t.end;
        r.status = t.status;
        r.retryAfter = t.retryAfter;
        r.date = "Sun, 06 Nov 1994 08:49:37 GMT";
        r.heldBytes = t.held;
        r.resumable = t.held != 0;
        const AttemptStep step = attempts->onAttemptEnded(r, t.nowMs, kNow + 3600);
        EXPECT_EQ(step.next, t.next) << "row " << i;
        EXPECT_EQ(step.waitMs, t.waitMs) << "row " << i;
        EXPECT_EQ(step.resumeAt, t.resumeAt) << "row " << i;
        const bool last = i + 1 == std::size(tries) || tries[i + 1].seq != t.seq;
        const std::string said = t.seq < static_cast<int>(std::size(words)) ? words[t.seq] : "";
        EXPECT_EQ(last ? attempts->words() : said, said) << "sequence " << t.seq;
    }
}

TEST(DownloadAttempts, WordsForTheOutcomeLine)
{
    EXPECT_EQ(byteWords(0), "0 bytes");
    EXPECT_EQ(byteWords(1023), "1023 bytes");
    EXPECT_EQ(byteWords(1536), "1.5 KiB");
    EXPECT_EQ(byteWords(24 * MiB + 5), "24 MiB");
    EXPECT_EQ(byteWords(3 * 1024 * MiB / 2), "1.5 GiB");

    CDownloadAttempts attempts(0, nullptr);
    EXPECT_EQ(attemptWords(attempts, "http://a/1/x.exe", "http://a/1/x.exe"), "");
    AttemptResult cut;
    cut.end = AttemptEnd::ConnectionLost;
    cut.heldBytes = 24 * MiB;
    cut.resumable = true;
    attempts.onAttemptEnded(cut, 0, 0);
    attempts.noteStartedOver();
    EXPECT_EQ(attemptWords(attempts, "http://a/1/x.exe", "https://edge.b/x.exe"),
              "2 attempts: connection lost, resumed at 24 MiB, started over, redirected to https://edge.b/x.exe");
    const std::string endless = "https://b/" + std::string(400, 'x');
    EXPECT_EQ(attemptWords(CDownloadAttempts(0, nullptr), "u", endless),
              "redirected to " + endless.substr(0, 300) + "...");
}

TEST(RetryAfter, SecondsOrADateCountedFromTheAnswersDate)
{
    const struct {
        const char *value, *date;
        bool read;
        std::uint64_t seconds;
    } cases[] = {
        {"120", nullptr, true, 120},
        {"0", nullptr, true, 0},
        {"99999999999999999999999", nullptr, true, 31536000}, // long, no overflow
        {"Sun, 06 Nov 1994 08:51:37 GMT", "Sun, 06 Nov 1994 08:49:37 GMT", true, 120},
        {"Sun, 06 Nov 1994 08:51:37 GMT", nullptr, true, 0}, // our clock says it is past
        {"Sun, 06 Nov 1994 08:51:37 GMT", "garbage", true, 0},
        {"12 s", nullptr, false, 0},
        {"", nullptr, false, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t seconds = 77;
        EXPECT_EQ(parseRetryAfter(c.value, c.date, kNow + 3600, &seconds), c.read) << c.value;
        EXPECT_EQ(c.read ? seconds : 0, c.seconds) << c.value;
    }
}

} // namespace
