#include "update/RedirectPolicy.h"
#include "update/UserAgent.h"

#include <gtest/gtest.h>

#include "VeldrunVersion.h"

namespace {

TEST(RedirectPolicy, FollowsHttpAndHttpsOnlyNeverDownwardsAtMostTen)
{
    const struct {
        const char* from;
        const char* location;
        RedirectVerdict verdict;
        const char* to; // the attempt's URL afterwards
    } cases[] = {
        {"http://a/1/x.exe", "https://edge.b:8443/x.exe?k=1", RedirectVerdict::Follow, "https://edge.b:8443/x.exe?k=1"},
        {"https://a/1/x.exe", "HTTPS://b/x.exe", RedirectVerdict::Follow, "HTTPS://b/x.exe"},
        {"https://a/1/x.exe", "/max/x.exe", RedirectVerdict::Follow, "https://a/max/x.exe"},
        {"https://a/1/x.exe?q=/z", "y.exe", RedirectVerdict::Follow, "https://a/1/y.exe"},
        {"https://a", "y.exe", RedirectVerdict::Follow, "https://a/y.exe"},
        {"https://a/1/x.exe", "//c/x.exe", RedirectVerdict::Follow, "https://c/x.exe"},
        {"https://a/1/x.exe", "http://a/1/x.exe", RedirectVerdict::ToPlainHttp, "https://a/1/x.exe"},
        {"HTTPS://a/1/x.exe", "Http://a/1/x.exe", RedirectVerdict::ToPlainHttp, "HTTPS://a/1/x.exe"},
        {"http://a/1/x.exe", "file:///C:/Windows/x.exe", RedirectVerdict::NotHttp, "http://a/1/x.exe"},
        {"http://a/1/x.exe", "ftp://a/x.exe", RedirectVerdict::NotHttp, "http://a/1/x.exe"},
        {"http://a/1/x.exe", "http://a/x.exe\r\nSet-Cookie: 1", RedirectVerdict::Malformed, "http://a/1/x.exe"},
        {"http://a/1/x.exe", "http://a/x y.exe", RedirectVerdict::Malformed, "http://a/1/x.exe"},
        {"http://a/1/x.exe", "", RedirectVerdict::Malformed, "http://a/1/x.exe"},
    };
    for (const auto& c : cases) {
        CRedirectPolicy policy(c.from);
        EXPECT_EQ(policy.onRedirect(c.location), c.verdict) << c.location;
        EXPECT_EQ(policy.url(), c.to) << c.location;
    }
    CRedirectPolicy policy("http://a/x.exe");
    EXPECT_EQ(policy.onRedirect(("http://a/" + std::string(2048, 'x')).c_str()), RedirectVerdict::Malformed);
    for (unsigned i = 0; i < CRedirectPolicy::kMaxRedirects; ++i)
        ASSERT_EQ(policy.onRedirect("/loop"), RedirectVerdict::Follow) << i;
    EXPECT_EQ(policy.onRedirect("/loop"), RedirectVerdict::TooMany);
    EXPECT_STREQ(redirectVerdictText(RedirectVerdict::TooMany), "more than 10 redirects");
}

TEST(BodyProgress, OnlyBodyBytesMoveIt)
{
    CBodyProgress progress(1000);
    progress.onBody(0, 5000); // a redirect or the headers of an answer
    EXPECT_TRUE(progress.stalled(6000, 5000));
    progress.onBody(10, 5500);
    EXPECT_FALSE(progress.stalled(10499, 5000));
    EXPECT_TRUE(progress.stalled(10500, 5000));
    EXPECT_FALSE(progress.stalled(99999, 0));
    EXPECT_EQ(progress.bytes(), 10u);
}

TEST(UserAgent, NamesTheProgramBeforeThePlatformBounded)
{
    const std::string own = "Veldrun/" VELDRUN_VERSION_TEXT;
    EXPECT_EQ(composeUserAgent("Mozilla/4.0 (compatible; MSIE 8.0; Win32)"),
              own + " Mozilla/4.0 (compatible; MSIE 8.0; Win32)");
    EXPECT_EQ(composeUserAgent(nullptr), own);
    EXPECT_EQ(composeUserAgent(" \r\n"), own);
    EXPECT_EQ(composeUserAgent("Wine\r\nX-Evil: 1"), own + " WineX-Evil: 1");
    const std::string words = composeUserAgent(std::string(100, 'w').append(" ").append(300, 'z').c_str());
    EXPECT_EQ(words, own + " " + std::string(100, 'w'));
    EXPECT_LE(composeUserAgent(std::string(1000, 'a').c_str()).size(), kMaxUserAgent);
}

} // namespace
