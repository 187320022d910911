#include "update/RunAccount.h"

#include "app/ExitStatus.h"
#include "products/ProductCheck.h"
#include "products/ProductProbe.h"
#include "products/TextCompare.h"
#include "update/PatchPin.h"

#include <cstdio>

namespace {

std::string quoted(const std::string& text)
{
    return '"' + text + '"';
}

std::string number(unsigned long long value)
{
    return std::to_string(value);
}

// "1234 of 1234 bytes", or "1234 bytes" when no length was announced.
std::string byteCount(const DownloadFacts& facts)
{
    return number(facts.fileSize) + (facts.lengthKnown ? " of " + number(facts.announced) : "") + " bytes";
}

std::string verdictText(DownloadVerdict verdict, const DownloadFacts& facts)
{
    const std::string status = facts.statusKnown ? "HTTP " + number(facts.httpStatus) : "";
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
    case DownloadVerdict::CallFailed:
        break;
    }
    if (facts.aborted)
        return "stopped after " + byteCount(facts);
    char hr[16];
    std::snprintf(hr, sizeof hr, "0x%08lX", static_cast<unsigned long>(static_cast<std::uint32_t>(facts.hrDownload)));
    return withStatus + "transfer failed (" + hr + "), " + byteCount(facts);
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

} // namespace

void CRunAccount::note(const std::string& fact)
{
    m_facts.push_back(fact);
}

void CRunAccount::noteProducts(int checkResult, const std::vector<ProductInfo>& products, IRegistry& registry)
{
    if (checkResult == kProductsApplicable)
        return;
    if (products.empty()) {
        note("[RegPath] lists no products (Count missing, 0 or not a number)");
        return;
    }
    for (std::size_t i = 0; i < products.size(); ++i) {
        const ProductInfo& p = products[i];
        const std::string which = "product " + number(i) + " (" + p.szPath + ")";
        if (!p.bFound) {
            note(which + " not found: " + describeProductGap(registry, p.szPath));
        } else if (checkResult == kProductsMismatch && !textEqualNoCase(p.szNoVerCheck, "1")) {
            const std::string identity = std::string(p.szProdName) + ' ' + p.szProdVer;
            if (!textEqualNoCase(identity.c_str(), p.szCheck))
                note(which + " is " + quoted(identity) + ", Check" + number(i) + " expects " + quoted(p.szCheck));
        }
    }
}

void CRunAccount::noteSelection(int srId, const std::vector<ProductInfo>& products, const char* srNo)
{
    std::vector<std::string> keys;
    for (const ProductInfo& p : products)
        if (p.bFound == 1)
            keys.push_back(buildKeyOf(p));
    const std::string looked = "build keys " + joined(keys, ", ");
    if (srId == kPatchAlreadyApplied)
        note(looked + " all contain SRNo " + (srNo ? srNo : ""));
    else if (srId == kPatchGeneric)
        note(looked + " are in no Info value together: the generic build");
    else
        note(looked + " are all in Info" + number(static_cast<unsigned long long>(srId)));
}

void CRunAccount::noteDownload(const char* url, DownloadVerdict verdict, const DownloadFacts& facts)
{
    note(std::string(url ? url : "") + ": " + verdictText(verdict, facts));
}

void CRunAccount::notePin(int pinVerdict, int folder)
{
    if (pinVerdict == kPinNone || m_facts.empty())
        return;
    char key[kPinKeySize];
    pinKeyName(folder, key, sizeof key);
    m_facts.back() +=
        std::string(", pin ") + key + (pinVerdict == kPinMatch ? " matched" : " did not match (file removed)");
}

void CRunAccount::noteURLRefused(const char* url)
{
    if (url && *url)
        note(std::string("download URL rejected: ") + url);
    else
        note("the download URL would pass 259 characters");
}

void CRunAccount::noteConnectionLost()
{
    note("the internet connection was lost during the download");
}

void CRunAccount::noteCancel(const char* downloading)
{
    if (downloading && *downloading)
        note(std::string("cancelled by the user during the download of ") + downloading);
    else
        note("cancelled by the user");
}

void CRunAccount::notePatchStart(const char* commandLine, bool started, unsigned long error)
{
    if (started)
        note(std::string("started ") + commandLine);
    else
        note(std::string("could not start ") + commandLine + " (error " + number(error) + ")");
}

void CRunAccount::notePatchExit(unsigned long code)
{
    m_bPatchExited = true;
    note("the patch ended with exit code " + number(code));
}

const char* CRunAccount::outcomeWords(int exitStatus, bool patchCode)
{
    if (patchCode)
        return "patch finished";
    switch (exitStatus) {
    case kExitPatchStarted:
        return "patch started";
    case kExitProductError:
        return "product error";
    case kExitPatchError:
        return "patch error";
    case kExitServerError:
        return "server error";
    case kExitAlreadyApplied:
        return "already applied";
    case kExitCancelled:
        return "cancelled";
    case kExitNotStarted:
        return "not started";
    case kExitAlreadyRunning:
        return "another instance runs";
    case 8: // the patch information file could not be extracted
        return "patch information file not extracted";
    case 9: // "/?": the switches were shown
        return "usage shown";
    default:
        return "unknown";
    }
}

std::string CRunAccount::outcomeLine(int exitStatus) const
{
    std::string line = "[Veldrun] Outcome: ";
    line += outcomeWords(exitStatus, m_bPatchExited);
    line += " (exit " + std::to_string(exitStatus) + ")";
    if (!m_facts.empty())
        line += ": " + joined(m_facts, "; ");
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = '?';
    return line + '\n';
}
