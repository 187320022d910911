// [SRInfo] as the run reads it once its build is chosen, from real files:
// each key from its own section only, the pins' presence bounded by Count,
// and the Signer's problem before and after the package's certificate.
#include "update/BuildSource.h"

#include "../common/TestFiles.h"
#include "products/IniFileReader.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string render(const BuildSource& s)
{
    const RunSource& r = s.run;
    return r.server + "|" + r.srNo + "|" + (r.anyPin ? "pin" : "-") + "|" + (r.signerRequired ? "signer" : "-") + "|" +
           r.signerProblem + "|" + std::to_string(r.stallSeconds) + "|" + std::to_string(r.downloadSeconds) + "|" +
           r.silentArgs + "|" + r.args + "|" + (s.signer.bExpectedKnown ? std::to_string(s.signer.expected[0]) : "?");
}

TEST(BuildSource, ReadsEachKeyFromSRInfoOnly)
{
    const std::string digest(64, 'a');
    struct Case {
        const char* file;
        int packageSigner; // -1: not asked for, 0: the package is unsigned, else its certificate's first byte
        std::string read;
    };
    const Case cases[] = {
        {"[SRInfo]\nURL=http://h/"
         "p\nSRNo=S7\nCount=5\nSHA2563=ab\nSigner=AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA\n"
         "StallSeconds=30\nDownloadSeconds=600\nSilentArgs=/q /norestart\nArgs=/x\n",
         -1, "http://h/p|S7|pin|signer||30|600|/q /norestart|/x|170"},
        {"[RegPath]\nURL=http://wrong\nSRNo=W\nSHA256Max=ab\nSigner=package\nStallSeconds=9\nArgs=/w\n[SRInfo]\n", -1,
         "||-|-||0|0|||?"},
        {"[SRInfo]\nCount=5\nSHA2565=ab\nSigner=\n", -1, "||-|-||0|0|||?"},
        {"[SRInfo]\nSHA256Max=ab\nSigner=someone\n", -1,
         "||pin|signer|the Signer key is neither \"package\" nor 64 hex digits|0|0|||?"},
        {"[SRInfo]\nSigner=Package\n", 0,
         "||-|signer|Signer=package, but the package carries no valid signature|0|0|||?"},
        {"[SRInfo]\nSigner=package\n", 7, "||-|signer||0|0|||7"},
    };
    TempDir dir;
    CIniFileReader profile;
    for (const Case& c : cases) {
        const std::string ini = dir.write("patch.ini", c.file);
        BuildSource source = readBuildSource(profile, ini.c_str());
        bool asked = false;
        addPackageSigner(source, [&](unsigned char out[kSha256Size]) {
            asked = true;
            out[0] = static_cast<unsigned char>(c.packageSigner);
            return c.packageSigner > 0;
        });
        EXPECT_EQ(c.read, render(source)) << c.file;
        EXPECT_EQ(c.packageSigner >= 0, asked) << c.file;
    }
}

} // namespace
