// The names the outcome line gives codes, and how the trace's lines become
// the log's records.
#include "common/ErrorNames.h"
#include "common/LogLines.h"

#include <gtest/gtest.h>

namespace {

TEST(ErrorNames, CodesCarryTheirNameAndTextUnknownOnesTheirNumberAlone)
{
    const struct {
        std::uint32_t hr;
        const char* said;
    } hresults[] = {
        {0x800C0004u, "0x800C0004 INET_E_CANNOT_CONNECT: the connection to the server failed"},
        {0x800C0005u, "0x800C0005 INET_E_RESOURCE_NOT_FOUND: the server or the file was not found"},
        {0x800C0008u, "0x800C0008 INET_E_DOWNLOAD_FAILURE: the download failed"},
        {0x80004004u, "0x80004004 E_ABORT: the operation was aborted"},
        {0x80096010u, "0x80096010 TRUST_E_BAD_DIGEST: the file was changed after it was signed"},
        // HRESULT_FROM_WIN32 by the Win32 entry; other facilities are not.
        {0x800700C1u, "0x800700C1 ERROR_BAD_EXE_FORMAT: not a valid Windows program"},
        {0x800400C1u, "0x800400C1"},
        {0x800C0001u, "0x800C0001"},
    };
    for (const auto& c : hresults)
        EXPECT_EQ(c.said, describeHresult(c.hr));
    const struct {
        unsigned long error;
        const char* said;
    } errors[] = {
        {193, "error 193 ERROR_BAD_EXE_FORMAT: not a valid Windows program"},
        {2, "error 2 ERROR_FILE_NOT_FOUND: the file was not found"},
        {12007, "error 12007 ERROR_INTERNET_NAME_NOT_RESOLVED: the server's name was not resolved"},
        {1359, "error 1359"},
        {0x1000000C1ul, "error 4294967489"},
    };
    for (const auto& c : errors)
        EXPECT_EQ(c.said, describeWin32Error(c.error));
}

TEST(LogLines, InternalLinesAreAMembersNameFirst)
{
    for (const char* internal :
         {"WindowProc::WM_WINDOWPOSCHANGING\n", "CBSCallbackImpl::OnProgress 04(x) 1 / 2\n", "A::"})
        EXPECT_TRUE(isInternalTraceLine(internal)) << internal;
    for (const char* own : {"[Veldrun] Outcome: x::y\n", "Run Command: \"C:\\p.exe\" /s\n", "::x", " A::B", "A:B", "",
                            static_cast<const char*>(nullptr)})
        EXPECT_FALSE(isInternalTraceLine(own)) << (own ? own : "null");
}

TEST(LogLines, EachLineOfATextIsOneStampedRecord)
{
    const struct {
        const char* text;
        const char* records;
    } cases[] = {
        {"[Veldrun] a\n", "S [Veldrun] a\n"},
        {"[Veldrun] a", "S [Veldrun] a\n"},
        {"[Veldrun] getProductInfo => \nPath: P\n, ProdName: N\n", "S [Veldrun] getProductInfo => \nS Path: P\nS , "
                                                                   "ProdName: N\n"},
        {"a\r\nb\n\n\nc", "S a\nS b\nS c\n"},
        {"\n", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.records, logRecords("S", c.text)) << c.text;
}

} // namespace
