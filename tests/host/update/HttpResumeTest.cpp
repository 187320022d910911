#include "update/HttpDate.h"
#include "update/HttpResume.h"

#include <gtest/gtest.h>

namespace {

TEST(HttpDate, ReadsTheThreeFormsAndNothingElse)
{
    const std::int64_t t1994 = 784111777; // 1994-11-06 08:49:37 UTC
    const struct {
        const char* text;
        std::int64_t epoch; // -1: refused
    } cases[] = {
        {"Sun, 06 Nov 1994 08:49:37 GMT", t1994},
        {"Sunday, 06-Nov-94 08:49:37 GMT", t1994},
        {"Sun Nov  6 08:49:37 1994", t1994},
        {"Thu, 01 Jan 1970 00:00:00 GMT", 0},
        {"Tue, 29 Feb 2028 23:59:59 GMT", 1835481599},
        {"Monday, 01-Jan-35 00:00:00 GMT", 2051222400},
        {"Sun, 06 Nov 1994 08:49:37 UTC", -1},
        {"Sun, 06 Nov 1994 08:49:37 GMT\r\nX: y", -1},
        {"Sun, 6 Nov 1994 08:49:37 GMT", -1},
        {"Sun, 31 Apr 1994 08:49:37 GMT", -1},
        {"Sun, 29 Feb 2100 08:49:37 GMT", -1},
        {"Sun, 06 Nov 1994 24:00:00 GMT", -1},
        {"Wed, 31 Dec 1969 23:59:59 GMT", -1},
        {"120", -1},
        {"", -1},
    };
    for (const auto& c : cases) {
        std::int64_t epoch = -1;
        const bool read = parseHttpDate(c.text, &epoch);
        EXPECT_EQ(read ? epoch : -1, c.epoch) << c.text;
    }
    EXPECT_FALSE(parseHttpDate(nullptr, nullptr));
}

TEST(ResumeBasis, OnlyAStrongWellFormedValidatorOfAPlainBodyWithALength)
{
    const char* date = "Sun, 06 Nov 1994 08:49:38 GMT";
    const char* modified = "Sun, 06 Nov 1994 08:49:37 GMT";
    const struct {
        const char *etag, *lastModified, *date;
        bool lengthKnown, encoded;
        const char* validator;
    } cases[] = {
        {"\"abc-123\"", modified, date, true, false, "\"abc-123\""},
        {nullptr, modified, date, true, false, modified},
        {"W/\"abc\"", modified, date, true, false, ""}, // weak; the date is no stand-in
        {"\"a\"\r\nX-Evil: 1\r\n\"", nullptr, date, true, false, ""},
        {"\"a b\"", nullptr, date, true, false, ""},
        {"abc", nullptr, date, true, false, ""},
        {"\"abc\"", nullptr, date, false, false, ""},
        {"\"abc\"", nullptr, date, true, true, ""},
        {nullptr, modified, modified, true, false, ""}, // changed within its second: weak
        {nullptr, modified, nullptr, true, false, ""},
        {nullptr, "yesterday", date, true, false, ""},
        {nullptr, nullptr, date, true, false, ""},
    };
    for (const auto& c : cases) {
        const ResumeBasis b = resumeBasisOf(c.etag, c.lastModified, c.date, c.lengthKnown, 1000, c.encoded);
        EXPECT_EQ(b.validator, c.validator) << (c.etag ? c.etag : "(none)");
        EXPECT_EQ(b.usable(), *c.validator != 0);
    }
    EXPECT_EQ(resumeBasisOf(std::string(199, '"').c_str(), nullptr, date, true, 1, false).validator, "");
    const std::string longest = '"' + std::string(198, 'e') + '"';
    EXPECT_EQ(resumeBasisOf(longest.c_str(), nullptr, date, true, 1, false).validator, longest);
    EXPECT_EQ(resumeBasisOf(('"' + longest).c_str(), nullptr, date, true, 1, false).validator, "");
}

TEST(RangedAnswer, AppendsOnlyTheAskedRestOfTheSameFile)
{
    ResumeBasis basis;
    basis.validator = "\"v\"";
    basis.total = 1000;
    const struct {
        int status;
        const char* contentRange;
        std::uint64_t from;
        RangedAnswer answer;
    } cases[] = {
        {206, "bytes 400-999/1000", 400, RangedAnswer::Append},
        {206, "  bytes 400-999/1000\t", 400, RangedAnswer::Append},
        {206, "bytes 400-499/1000", 400, RangedAnswer::Append}, // shorter: the rest follows next time
        {200, nullptr, 400, RangedAnswer::StartOver},
        {200, nullptr, 0, RangedAnswer::Append},
        {206, "bytes 0-999/1000", 0, RangedAnswer::Failed},
        {206, "bytes 399-999/1000", 400, RangedAnswer::Failed},
        {206, "bytes 400-1000/1001", 400, RangedAnswer::Failed},
        {206, "bytes 400-999/*", 400, RangedAnswer::Failed},
        {206, "bytes 400-999/1000x", 400, RangedAnswer::Failed},
        {206, "bytes  400-999/1000", 400, RangedAnswer::Failed},
        {206, "bytes 400 - 999/1000", 400, RangedAnswer::Failed},
        {206, "bytes +400-999/1000", 400, RangedAnswer::Failed},
        {206, "bytes=400-999/1000", 400, RangedAnswer::Failed},
        {206, "bytes 400-999/18446744073709551616", 400, RangedAnswer::Failed},
        {206, "bytes 400-18446744073709552615/1000", 400, RangedAnswer::Failed},
        {206, "bytes 999-400/1000", 400, RangedAnswer::Failed},
        {206, nullptr, 400, RangedAnswer::Failed}, // multipart/byteranges
        {416, "bytes */1000", 400, RangedAnswer::Failed},
    };
    for (const auto& c : cases)
        EXPECT_EQ(judgeRangedAnswer(c.status, c.contentRange, c.from, basis), c.answer)
            << c.status << " " << (c.contentRange ? c.contentRange : "(none)") << " from " << c.from;
    EXPECT_EQ(judgeRangedAnswer(206, "bytes 400-999/1000", 400, ResumeBasis()), RangedAnswer::Failed);

    ContentRange r;
    ASSERT_TRUE(parseContentRange("bytes 0-18446744073709551614/18446744073709551615", &r));
    EXPECT_EQ(r.last, 18446744073709551614u);
    EXPECT_EQ(resumeRequestHeaders(400, basis),
              "Accept-Encoding: identity\r\nRange: bytes=400-\r\nIf-Range: \"v\"\r\n");
    EXPECT_EQ(resumeRequestHeaders(400, ResumeBasis()), "Accept-Encoding: identity\r\n");
}

} // namespace
