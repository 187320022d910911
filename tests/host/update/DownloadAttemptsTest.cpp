#include "update/DownloadAttempts.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const std::uint64_t MiB = 1024 * 1024;
const std::int64_t kNow = 784111777; // "Sun, 06 Nov 1994 08:49:37 GMT"

struct Try {
    AttemptEnd end;
    int status;
    const char* retryAfter;
    std::uint64_t held; // bytes held after it; resumable when not 0
    std::uint64_t nowMs;
    AttemptNext next;
    std::uint64_t waitMs;
    std::uint64_t resumeAt;
};

struct Case {
    const char* name;
    std::uint32_t random;
    std::uint64_t deadlineMs;
    std::vector<Try> tries;
    const char* words;
};

TEST(DownloadAttempts, RetriesWhatCanPassWithinTheDeadlineOnly)
{
    const auto lost = AttemptEnd::ConnectionLost;
    const auto http = AttemptEnd::HttpStatus;
    const auto retry = AttemptNext::Retry, giveUp = AttemptNext::GiveUp, finish = AttemptNext::Finish;
    const Case cases[] = {
        {"cut three times, resumed each time, then done",
         0,
         0,
         {{lost, 0, nullptr, 8 * MiB, 100, retry, 1500, 8 * MiB},
          {AttemptEnd::Stalled, 0, nullptr, 16 * MiB, 200, retry, 3000, 16 * MiB},
          {lost, 0, nullptr, 24 * MiB, 300, retry, 6000, 24 * MiB},
          {AttemptEnd::Done, 200, nullptr, 0, 400, finish, 0, 0}},
         "4 attempts: connection lost, stalled, connection lost, resumed at 8 MiB, 16 MiB, 24 MiB"},
        {"the fourth failure gives up; jitter at its top",
         0xffffffffu,
         0,
         {{lost, 0, nullptr, 0, 0, retry, 2499, 0},
          {lost, 0, nullptr, 0, 0, retry, 4999, 0},
          {http, 502, nullptr, 0, 0, retry, 9999, 0},
          {lost, 0, nullptr, 0, 0, giveUp, 0, 0}},
         "4 attempts: connection lost x2, HTTP 502, connection lost"},
        {"Retry-After longer than the backoff is honoured, in seconds or as a date",
         0,
         0,
         {{http, 503, "30", 0, 0, retry, 30000, 0},
          {http, 429, "Sun, 06 Nov 1994 08:51:37 GMT", 0, 0, retry, 120000, 0},
          {http, 408, "1", 0, 0, retry, 6000, 0},
          {AttemptEnd::Done, 200, nullptr, 0, 0, finish, 0, 0}},
         "4 attempts: HTTP 503, HTTP 429, HTTP 408"},
        {"a Retry-After past the bound gives the URL up",
         0,
         0,
         {{http, 503, "301", 0, 0, giveUp, 0, 0}},
         "1 attempt: HTTP 503 asked to wait 301 s"},
        {"a wait that would pass the deadline is not taken",
         0,
         10000,
         {{http, 500, nullptr, 0, 8000, retry, 1500, 0}, {http, 500, nullptr, 0, 9600, giveUp, 0, 0}},
         "2 attempts: HTTP 500 x2, no time left to wait 3 s"},
        {"a bad range answer starts over, never resumed",
         0,
         0,
         {{AttemptEnd::BadRange, 206, nullptr, 5 * MiB, 0, retry, 1500, 0}},
         "2 attempts: unusable range answer"},
        {"another 4xx, a refusal and a cancel end at once", 0, 0, {{http, 404, "1", 0, 0, giveUp, 0, 0}}, ""},
        {"refused", 0, 0, {{AttemptEnd::Refused, 302, nullptr, 0, 0, giveUp, 0, 0}}, ""},
        {"cancelled", 0, 0, {{AttemptEnd::Cancelled, 0, nullptr, 0, 0, finish, 0, 0}}, ""},
        {"a 3xx that was not followed", 0, 0, {{http, 301, nullptr, 0, 0, giveUp, 0, 0}}, ""},
    };
    for (const Case& c : cases) {
        CDownloadAttempts attempts(c.deadlineMs, [&c] { return c.random; });
        for (std::size_t i = 0; i < c.tries.size(); ++i) {
            const Try& t = c.tries[i];
            AttemptResult r;
            r.end = t.end;
            r.status = t.status;
            r.retryAfter = t.retryAfter;
            r.date = "Sun, 06 Nov 1994 08:49:37 GMT";
            r.heldBytes = t.held;
            r.resumable = t.held != 0;
            const AttemptStep step = attempts.onAttemptEnded(r, t.nowMs, kNow + 3600);
            EXPECT_EQ(step.next, t.next) << c.name << ", try " << i;
            EXPECT_EQ(step.waitMs, t.waitMs) << c.name << ", try " << i;
            EXPECT_EQ(step.resumeAt, t.resumeAt) << c.name << ", try " << i;
        }
        EXPECT_EQ(attempts.words(), c.words) << c.name;
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
    EXPECT_EQ(fetchedUrlWords("http://a/1/x.exe", attempts, "http://a/1/x.exe"), "http://a/1/x.exe");
    AttemptResult cut;
    cut.end = AttemptEnd::ConnectionLost;
    cut.heldBytes = 24 * MiB;
    cut.resumable = true;
    attempts.onAttemptEnded(cut, 0, 0);
    attempts.noteStartedOver();
    EXPECT_EQ(fetchedUrlWords("http://a/1/x.exe", attempts, "https://edge.b/x.exe"),
              "http://a/1/x.exe (2 attempts: connection lost, resumed at 24 MiB, started over, redirected to "
              "https://edge.b/x.exe)");
    const std::string endless = "https://b/" + std::string(400, 'x');
    EXPECT_EQ(fetchedUrlWords("u", CDownloadAttempts(0, nullptr), endless),
              "u (redirected to " + endless.substr(0, 300) + "...)");
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
        {"-5", nullptr, false, 0},
        {"", nullptr, false, 0},
        {"soon", nullptr, false, 0},
    };
    for (const auto& c : cases) {
        std::uint64_t seconds = 77;
        EXPECT_EQ(parseRetryAfter(c.value, c.date, kNow + 3600, &seconds), c.read) << c.value;
        EXPECT_EQ(c.read ? seconds : 0, c.seconds) << c.value;
    }
}

} // namespace
