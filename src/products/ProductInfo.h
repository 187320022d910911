#pragma once
// One product entry of the patch information file ([RegPath] entry i) with
// the identity the registry gives for it. A plain value record, copied by
// value; the update dialog keeps one per entry, in entry order, found or not.

#include "common/FixedBuf.h"

#include <cstdint>

struct ProductInfo {
    char szPath[kMaxText];       // registry key below the local-machine root ("Path%d")
    char szProdName[kMaxText];   // "Prod_Name", cleaned (no spaces, "&" as "_")
    char szProdVer[kMaxText];    // "Prod_Ver"
    char szSRNo[kMaxText];       // "SR_No": SR number of the release installed
    char szSRVer[kMaxText];      // "SR_Ver": build version of that release
    char szCheck[kMaxText];      // identity the patch expects, "name version" ("Check%d")
    char szNoVerCheck[kMaxText]; // "1" exempts the entry from the identity check ("NoVerCheck%d")
    std::int32_t bFound;         // 1 when the probe found all four values, else 0
};
