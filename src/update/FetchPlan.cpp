#include "update/FetchPlan.h"

#include "common/FixedBuf.h"
#include "products/ProductCheck.h"
#include "update/PatchPin.h"
#include "update/UpdateRules.h"

const char* fetchRoleName(FetchRole role)
{
    return role == FetchRole::Fallback ? "fallback" : "first";
}

std::vector<PlannedFetch> planFetches(int id, const char* server, const char* srNo)
{
    std::vector<PlannedFetch> plan;
    if (id == kPatchAlreadyApplied)
        return plan;
    server = server ? server : "";
    srNo = srNo ? srNo : "";
    char url[kMaxText] = {};
    composeFirstURL(url, sizeof url, server, id, srNo);
    plan.push_back(PlannedFetch{FetchRole::First, url, pinFolderFor(id, false), ""});
    if (firstDownloadAllowsFallback(id)) {
        composeFallbackURL(url, sizeof url, server, srNo);
        plan.push_back(PlannedFetch{FetchRole::Fallback, url, pinFolderFor(id, true), ""});
    }
    return plan;
}
