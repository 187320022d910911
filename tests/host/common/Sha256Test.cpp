#include "common/Sha256.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string hexOf(const std::string& message, std::size_t chunk)
{
    CSha256 sha;
    for (std::size_t i = 0; i < message.size(); i += chunk)
        sha.update(message.data() + i, std::min(chunk, message.size() - i));
    unsigned char digest[kSha256Size];
    sha.finish(digest);
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    return hex;
}

struct Vector {
    std::string message;
    const char* digest;
};

// FIPS 180-4 examples, plus lengths around the padding boundary (55, 56 and
// 64 bytes need one or two final blocks).
const Vector kVectors[] = {
    {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
    {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
    {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
    {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
    {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
    {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
    {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
};

TEST(Sha256, KnownDigestsWhateverTheChunking)
{
    for (const Vector& v : kVectors) {
        for (std::size_t chunk :
             {std::size_t(1), std::size_t(63), std::size_t(64), std::size_t(1000), v.message.size() + 1})
            EXPECT_EQ(hexOf(v.message, chunk), v.digest) << v.message.size() << " bytes in chunks of " << chunk;
    }
}

TEST(Sha256, ResetStartsANewMessage)
{
    CSha256 sha;
    sha.update("junk", 4);
    unsigned char digest[kSha256Size];
    sha.finish(digest);
    sha.reset();
    sha.update("abc", 3);
    sha.finish(digest);
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    EXPECT_STREQ(hex, kVectors[1].digest);
}

TEST(Sha256, HexTextRoundTripsAndRejectsAnythingElse)
{
    unsigned char digest[kSha256Size];
    ASSERT_TRUE(sha256FromHex("BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD", digest));
    char hex[kSha256HexSize];
    sha256Hex(digest, hex);
    EXPECT_STREQ(hex, kVectors[1].digest);

    std::string good = kVectors[1].digest;
    const std::string bad[] = {
        "", good.substr(1), good + "0", good.substr(1) + "g", " " + good.substr(1), good.substr(0, 63) + "\n"};
    for (const std::string& text : bad)
        EXPECT_FALSE(sha256FromHex(text.c_str(), digest)) << '"' << text << '"';
    EXPECT_FALSE(sha256FromHex(nullptr, digest));
}

} // namespace
