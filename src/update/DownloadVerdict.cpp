#include "update/DownloadVerdict.h"

#include "common/ErrorNames.h"
#include "update/RedirectPolicy.h"

namespace {

// "1234 of 1234 bytes", "1234 bytes" when no length was announced, or
// "1234 bytes (500 sent encoded)".
std::string byteCount(const DownloadFacts& facts)
{
    std::string size = std::to_string(facts.fileSize);
    if (!facts.lengthKnown)
        return size + " bytes";
    if (facts.encoded)
        return size + " bytes (" + std::to_string(facts.announced) + " sent encoded)";
    return size + " of " + std::to_string(facts.announced) + " bytes";
}

std::string sizeRefusal(const DownloadFacts& facts)
{
    const std::string pinned =
        facts.sizePin ? "the pinned " + std::to_string(facts.sizePin) : std::to_string(facts.limit);
    switch (facts.sizeStop) {
    case DownloadFacts::kSizePassed:
        return "stopped after " + std::to_string(facts.fileSize) + " bytes: more than " + pinned;
    case DownloadFacts::kSizeAnnounced:
        return std::to_string(facts.announced) + " bytes announced, pinned " + std::to_string(facts.sizePin) +
               " (stopped)";
    case DownloadFacts::kSizeKept:
        break;
    }
    return std::to_string(facts.fileSize) + " bytes, pinned " + std::to_string(facts.sizePin);
}

} // namespace

DownloadVerdict judgeDownload(const DownloadFacts& facts)
{
    // A redirect refused ends the attempt whatever the answer said.
    if (facts.redirect != 0)
        return DownloadVerdict::CallFailed;
    if (facts.statusKnown && (facts.httpStatus < 200 || facts.httpStatus > 299))
        return DownloadVerdict::ServerStatus;
    if (facts.sizeStop != DownloadFacts::kSizeKept)
        return DownloadVerdict::SizeRefused;
    if (facts.aborted || facts.hrDownload < 0 || facts.rangeFailed)
        return DownloadVerdict::CallFailed;
    if (!facts.fileExists)
        return DownloadVerdict::NoFile;
    if (facts.lengthKnown && !facts.encoded && facts.fileSize != facts.announced)
        return DownloadVerdict::Incomplete;
    if (facts.sizePin != 0 && facts.fileSize != facts.sizePin)
        return DownloadVerdict::SizeRefused;
    // A decoder that met the end of its input proves nothing: a body cut
    // at a block boundary decodes cleanly. Only the pin judges such a file.
    if (facts.statusKnown && (!facts.framed || facts.encoded) && !facts.pinned)
        return DownloadVerdict::EndUnknown;
    return DownloadVerdict::Good;
}

const char* verdictName(DownloadVerdict verdict)
{
    switch (verdict) {
    case DownloadVerdict::Good:
        return "good";
    case DownloadVerdict::NoFile:
        return "no file";
    case DownloadVerdict::CallFailed:
        return "download failed";
    case DownloadVerdict::ServerStatus:
        return "server error status";
    case DownloadVerdict::Incomplete:
        return "incomplete";
    case DownloadVerdict::SizeRefused:
        return "size refused";
    case DownloadVerdict::EndUnknown:
        return "end unknown";
    }
    return "?";
}

std::string describeDownload(DownloadVerdict verdict, const DownloadFacts& facts)
{
    const std::string status = facts.statusKnown ? "HTTP " + std::to_string(facts.httpStatus) : "";
    const std::string withStatus = status.empty() ? "" : status + ", ";
    switch (verdict) {
    case DownloadVerdict::Good:
        return withStatus + byteCount(facts);
    case DownloadVerdict::ServerStatus:
        return status;
    case DownloadVerdict::Incomplete:
        return withStatus + byteCount(facts) + ", incomplete";
    case DownloadVerdict::NoFile:
        return withStatus + "no file written";
    case DownloadVerdict::SizeRefused:
        return withStatus + sizeRefusal(facts);
    case DownloadVerdict::EndUnknown:
        return withStatus + byteCount(facts) +
               (facts.encoded ? ", encoded: end unknown" : ", no length and no chunked framing: end unknown");
    case DownloadVerdict::CallFailed:
        break;
    }
    if (facts.redirect != 0)
        return withStatus + redirectVerdictText(static_cast<RedirectVerdict>(facts.redirect));
    if (facts.rangeFailed)
        return withStatus + "unusable answer to a ranged request";
    if (facts.aborted)
        return "stopped after " + byteCount(facts);
    const char* where = facts.statusKnown  ? ""
                        : facts.connecting ? ", no answer from the server"
                                           : ", the server's name was not resolved";
    return withStatus + "transfer failed (" + describeHresult(static_cast<std::uint32_t>(facts.hrDownload)) + "), " +
           byteCount(facts) + where;
}
