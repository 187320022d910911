#include "update/DownloadVerdict.h"

DownloadVerdict judgeDownload(const DownloadFacts& facts)
{
    if (facts.aborted || facts.hrDownload < 0)
        return DownloadVerdict::CallFailed;
    if (facts.statusKnown && (facts.httpStatus < 200 || facts.httpStatus > 299))
        return DownloadVerdict::ServerStatus;
    if (!facts.fileExists)
        return DownloadVerdict::NoFile;
    if (facts.lengthKnown && !facts.encoded && facts.fileSize != facts.announced)
        return DownloadVerdict::Incomplete;
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
    }
    return "?";
}
