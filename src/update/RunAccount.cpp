#include "update/RunAccount.h"

#include "common/ErrorNames.h"
#include "products/PatchInfoKeys.h"
#include "products/ProductCheck.h"

namespace {

std::string quoted(const std::string& text)
{
    return '"' + text + '"';
}

std::string joined(const std::vector<std::string>& parts, const char* separator)
{
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : separator) + part;
    return text;
}

// One download of the run in words.
std::string fetchFact(const RunFetch& fetch)
{
    const std::string url = fetch.tries.empty() ? fetch.url : fetch.url + " (" + fetch.tries + ")";
    switch (fetch.end) {
    case FetchEnd::Cancelled:
        return "cancelled by the user during the download of " + url;
    case FetchEnd::ConnectionLost:
        return "the internet connection was lost during the download of " + url;
    case FetchEnd::Running:
        return url + ": unfinished";
    default:
        return url + ": " + fetch.verdict();
    }
}

} // namespace

void CRunAccount::noteProducts(int checkResult, const std::vector<ProductInfo>& products, const ProductReasons& reasons)
{
    if (checkResult == kProductsApplicable)
        return;
    if (reasons.countSection) {
        m_facts.push_back(std::string("[") + reasons.countSection + "] Count " + std::to_string(reasons.count) +
                          " is outside 0 to " + std::to_string(kMaxEntryCount));
        return;
    }
    if (products.empty()) {
        m_facts.push_back("[RegPath] lists no products (Count missing, 0 or not a number)");
        return;
    }
    for (std::size_t i = 0; i < products.size(); ++i) {
        const ProductInfo& p = products[i];
        const std::string which = "product " + std::to_string(i) + " (" + p.szPath + ")";
        const ProductReasons::Product why =
            i < reasons.products.size() ? reasons.products[i] : ProductReasons::Product();
        if (!p.bFound)
            m_facts.push_back(which + " not found: " + why.gaps);
        else if (checkResult == kProductsMismatch && !why.identity.empty())
            m_facts.push_back(which + " is " + quoted(why.identity) + ", Check" + std::to_string(i) + " expects " +
                              quoted(p.szCheck));
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
        m_facts.push_back(looked + " all contain SRNo " + (srNo ? srNo : ""));
    else if (srId == kPatchGeneric)
        m_facts.push_back(looked + " are in no Info value together: the generic build");
    else
        m_facts.push_back(looked + " are all in Info" + std::to_string(srId));
}

std::string CRunAccount::outcomeLine(const RunFacts& f, RunOutcome outcome, int exitStatus) const
{
    std::vector<std::string> facts = m_facts;
    if (f.extractResult != 1)
        facts.push_back("detachFile result " + std::to_string(f.extractResult));
    for (const RunFetch& fetch : f.fetches)
        facts.push_back(fetchFact(fetch));
    if (!f.commandLine.empty()) {
        if (outcome == RunOutcome::PatchStarted)
            facts.push_back("started " + f.commandLine);
        else if (outcome == RunOutcome::NotStarted)
            facts.push_back("could not start " + f.commandLine + " (" + describeWin32Error(f.patchStartError) + ")");
    } else if (outcome == RunOutcome::NotStarted || outcome == RunOutcome::Running) {
        // No fetch or verdict says it: a URL or command line too long, a
        // download that could not be started, a run that ended undecided.
        facts.push_back(f.reason.empty() ? "the run ended before an outcome was decided" : f.reason);
    } else if (outcome == RunOutcome::PatchError && f.productCheck == kProductsApplicable) {
        // Decided after the product check: the file's [SRInfo] is at fault.
        facts.push_back(f.reason);
    }
    if (f.patchWaited) {
        const bool restart =
            f.patchExitCode == kPatchExitRestartRequired || f.patchExitCode == kPatchExitRestartInitiated;
        facts.push_back("the patch ended with exit code " + std::to_string(f.patchExitCode) +
                        (restart ? ": the patch finished and asks for a restart" : ""));
    }

    std::string line = "[Veldrun] Outcome: ";
    line += f.patchWaited ? "patch finished" : outcome == RunOutcome::Running ? "not started" : outcomeName(outcome);
    line += " (exit " + std::to_string(exitStatus) + ")";
    if (!facts.empty())
        line += ": " + joined(facts, "; ");
    for (char& c : line)
        if (static_cast<unsigned char>(c) < 0x20 || c == '\x7f')
            c = '?';
    return line + '\n';
}
