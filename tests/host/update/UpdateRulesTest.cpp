#include "update/DownloadVerdict.h"
#include "update/ProgressText.h"
#include "update/UpdateRules.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(UpdateRules, FirstURLPerSelection)
{
    struct Case {
        int id;
        const char* server;
        const char* expected;
    };
    const Case cases[] = {
        {2, "http://h/p", "http://h/p/2/SR7.exe"},
        {-1, "http://h/p", "http://h/p/max/SR7.exe"},
        {3, "http://h/p/", "http://h/p//3/SR7.exe"}, // used as written
        {0, "", "/0/SR7.exe"},
    };
    for (const Case& c : cases) {
        char url[260];
        EXPECT_TRUE(composeFirstURL(url, sizeof url, c.server, c.id, "SR7")) << c.id;
        EXPECT_STREQ(c.expected, url) << c.id;
    }
    char url[260];
    EXPECT_TRUE(composeFallbackURL(url, sizeof url, "http://h/p", "SR7"));
    EXPECT_STREQ("http://h/p/Max/SR7.exe", url);
}

TEST(UpdateRules, URLOverBufferIsRejectedNotCut)
{
    // 259 characters fit the 260-byte buffer; one more is refused whole.
    std::string server = "http://h/" + std::string(259 - 9 - std::string("/2/S.exe").size(), 'a');
    char url[260];
    ASSERT_TRUE(composeFirstURL(url, sizeof url, server.c_str(), 2, "S"));
    EXPECT_EQ(259u, std::string(url).size());
    server += "a";
    EXPECT_FALSE(composeFirstURL(url, sizeof url, server.c_str(), 2, "S"));
    EXPECT_STREQ("", url);
    std::string sr(259, 's');
    EXPECT_FALSE(composeFallbackURL(url, sizeof url, "http://h", sr.c_str()));
    EXPECT_STREQ("", url);
    EXPECT_FALSE(composeFirstURL(url, sizeof url, "http://h", -1, sr.c_str()));
}

TEST(UpdateRules, PatchCommandLine)
{
    // silent, SilentArgs, Args, command line
    const struct {
        bool silent;
        const char* silentArgs;
        const char* args;
        const char* line;
    } kCases[] = {
        {true, "", "", "\"C:\\t\\A1.exe\" /s"},
        {false, "", "", "\"C:\\t\\A1.exe\" "}, // one blank and nothing else
        {true, "/S", "/D=x", "\"C:\\t\\A1.exe\" /S"},
        {false, "/quiet", "/passive /norestart", "\"C:\\t\\A1.exe\" /passive /norestart"},
    };
    char line[kCommandLineSize];
    for (const auto& c : kCases) {
        ASSERT_TRUE(composePatchCommandLine(line, sizeof line, "C:\\t\\A1.exe",
                                            patchArguments(c.silent, c.silentArgs, c.args)));
        EXPECT_STREQ(c.line, line);
    }
    std::string longest(259, 'p');
    std::string args(259, 'a');
    EXPECT_TRUE(composePatchCommandLine(line, sizeof line, longest.c_str(), args.c_str()));
    char small[8];
    EXPECT_FALSE(composePatchCommandLine(small, sizeof small, "C:\\x.exe", "/s"));
    EXPECT_STREQ("", small);
}

TEST(ProgressText, StatusCodeLimit)
{
    const std::uint32_t in[] = {0, 1, 2, 4, 25, 26, 40, 0xFFFFFFFFu};
    const std::uint32_t out[] = {26, 1, 2, 4, 25, 26, 26, 26};
    for (std::size_t i = 0; i < sizeof in / sizeof in[0]; ++i)
        EXPECT_EQ(out[i], limitStatusCode(in[i])) << in[i];
}

TEST(ProgressText, PercentAndText)
{
    struct Case {
        std::uint32_t progress, max;
        unsigned percent;
        const char* text;
    };
    const Case cases[] = {
        {3000000, 6000000, 50, "2929 K / 5859 K"},
        {0, 1, 0, "0 K / 0 K"},
        {1023, 2048, 49, "0 K / 2 K"},
        {100000000, 200000000, 50, "97656 K / 195312 K"},         // above 42,949,672: 64-bit product
        {0xFFFFFFFFu, 0xFFFFFFFFu, 100, "4194303 K / 4194303 K"}, // largest counts
        {4000000000u, 4294967295u, 93, "3906250 K / 4194303 K"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.percent, progressPercent(c.progress, c.max)) << c.progress;
        char text[64];
        ASSERT_TRUE(formatProgressText(text, sizeof text, c.progress, c.max));
        EXPECT_STREQ(c.text, text);
    }
    EXPECT_EQ(0u, progressPercent(5, 0));
}

TEST(ProgressText, PaceLetsAStatusChangeThroughAndOneReportPerPeriod)
{
    struct Case {
        std::uint32_t status;
        std::uint64_t ms;
        bool due;
    };
    const Case cases[] = {
        {2, 1000, true},  // the first
        {4, 1001, true},  // another status
        {5, 1002, true},  // another status
        {5, 1050, false}, // the same within the period
        {5, 1101, false}, // 99 ms after the last passed
        {5, 1102, true},  // the period is over
        {6, 1103, true},  // the end of the data: always
        {5, 1104, true},  // back to a status seen before
        {5, 900, true},   // the clock went back
        {5, 950, false},
    };
    CProgressPace pace(100);
    for (const Case& c : cases)
        EXPECT_EQ(c.due, pace.due(c.status, c.ms)) << c.status << " at " << c.ms;
}

TEST(DownloadVerdictRule, OnlyACompleteSuccessfulTransferIsGood)
{
    DownloadFacts good;
    good.statusKnown = true;
    good.httpStatus = 200;
    good.lengthKnown = true;
    good.announced = 1000;
    good.fileExists = true;
    good.fileSize = 1000;
    EXPECT_EQ(DownloadVerdict::Good, judgeDownload(good));

    struct Case {
        const char* what;
        void (*change)(DownloadFacts&);
        DownloadVerdict expected;
    };
    const Case cases[] = {
        {"404 page", [](DownloadFacts& f) { f.httpStatus = 404; }, DownloadVerdict::ServerStatus},
        {"500", [](DownloadFacts& f) { f.httpStatus = 500; }, DownloadVerdict::ServerStatus},
        {"redirect left", [](DownloadFacts& f) { f.httpStatus = 302; }, DownloadVerdict::ServerStatus},
        {"cut short", [](DownloadFacts& f) { f.fileSize = 999; }, DownloadVerdict::Incomplete},
        {"longer", [](DownloadFacts& f) { f.fileSize = 1001; }, DownloadVerdict::Incomplete},
        {"call failed", [](DownloadFacts& f) { f.hrDownload = static_cast<std::int32_t>(0x800C0005u); },
         DownloadVerdict::CallFailed},
        {"cancelled", [](DownloadFacts& f) { f.aborted = true; }, DownloadVerdict::CallFailed},
        {"no file", [](DownloadFacts& f) { f.fileExists = false; }, DownloadVerdict::NoFile},
        {"no length announced", [](DownloadFacts& f) { f.lengthKnown = false, f.fileSize = 5; }, DownloadVerdict::Good},
        // Ended by the connection's close: a cut body looks whole; only a pin can tell.
        {"end unknown", [](DownloadFacts& f) { f.lengthKnown = false, f.framed = false; }, DownloadVerdict::EndUnknown},
        {"end unknown, pinned", [](DownloadFacts& f) { f.lengthKnown = false, f.framed = false, f.pinned = true; },
         DownloadVerdict::Good},
        {"end unknown, encoded", [](DownloadFacts& f) { f.framed = false, f.encoded = true; },
         DownloadVerdict::EndUnknown},
        {"size passed", [](DownloadFacts& f) { f.aborted = true, f.sizeStop = DownloadFacts::kSizePassed; },
         DownloadVerdict::SizeRefused},
        {"another size", [](DownloadFacts& f) { f.sizePin = 999; }, DownloadVerdict::SizeRefused},
        {"error page of another size", [](DownloadFacts& f) { f.httpStatus = 500, f.sizePin = 999; },
         DownloadVerdict::ServerStatus},
        {"the pinned size", [](DownloadFacts& f) { f.sizePin = 1000; }, DownloadVerdict::Good},
        {"status unknown", [](DownloadFacts& f) { f.statusKnown = false; }, DownloadVerdict::Good},
        {"S_FALSE", [](DownloadFacts& f) { f.hrDownload = 1; }, DownloadVerdict::Good},
        {"204 empty", [](DownloadFacts& f) { f.httpStatus = 204, f.announced = 0, f.fileSize = 0; },
         DownloadVerdict::Good},
        // A gzip body: the length counts encoded bytes, and a decoder that
        // ran out of input proves no end; only a SHA-256 pin decides.
        {"encoded, decoded larger", [](DownloadFacts& f) { f.encoded = true, f.fileSize = 5000; },
         DownloadVerdict::EndUnknown},
        {"encoded, pinned", [](DownloadFacts& f) { f.encoded = true, f.fileSize = 5000, f.pinned = true; },
         DownloadVerdict::Good},
        {"redirect refused", [](DownloadFacts& f) { f.redirect = 2; }, DownloadVerdict::CallFailed},
        {"ranged answer unusable", [](DownloadFacts& f) { f.httpStatus = 206, f.rangeFailed = true; },
         DownloadVerdict::CallFailed},
        {"encoded, cut",
         [](DownloadFacts& f) { f.encoded = true, f.hrDownload = static_cast<std::int32_t>(0x800C0008u); },
         DownloadVerdict::CallFailed},
    };
    for (const Case& c : cases) {
        DownloadFacts f = good;
        c.change(f);
        EXPECT_EQ(c.expected, judgeDownload(f)) << c.what;
        EXPECT_NE(nullptr, verdictName(judgeDownload(f)));
    }
}

} // namespace
