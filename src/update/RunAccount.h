#pragma once
// The account of one update run: the one line that states how it ended,
//   "[Veldrun] Outcome: <outcome> (exit N): <fact>; <fact>; ...\n",
// traced just before "[Veldrun] Program End.\n" (and as the last line of a
// "/?" run). Each fact says why in its own terms. The run's driver
// records the downloads (each URL with its verdict and pin), the patch's
// command line and exit code and the reason of its decision; this account
// adds what only the window's product check and build selection learn:
// which product key or value is missing, which identity was read and which
// was expected, which build keys were looked for. Texts from the patch
// information file, the registry or the server are taken as they are (never
// as a format); control characters become "?" so that the outcome stays
// one line. Portable.

#include "products/ProductCheck.h"
#include "products/ProductInfo.h"
#include "update/RunOutcome.h"

#include <string>
#include <vector>

class CRunAccount {
public:
    // The product check's result (1, 0 or 255) over the list it judged,
    // with the reasons it gave: for a product error which keys or values a
    // missing product lacks; for a patch error each identity read set
    // against its Check value, or the file's Count that lies out of range.
    void noteProducts(int checkResult, const std::vector<ProductInfo>& products, const ProductReasons& reasons);

    // The build selection's result (folder, 999 or -1) and the build keys
    // of the found products it looked for.
    void noteSelection(int srId, const std::vector<ProductInfo>& products, const char* srNo);

    // The outcome line of a run that ended with `outcome` and exit status
    // `exitStatus` on these facts (its driver's).
    std::string outcomeLine(const RunFacts& f, RunOutcome outcome, int exitStatus) const;

private:
    std::vector<std::string> m_facts;
};
