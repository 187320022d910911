#include "update/UpdateRules.h"

#include "common/FixedBuf.h"
#include "products/ProductCheck.h"

namespace {
bool keepWhole(bool fitted, char* out, std::size_t cap)
{
    if (!fitted && out && cap > 0)
        out[0] = '\0';
    return fitted;
}
} // namespace

bool composeFirstURL(char* out, std::size_t cap, const char* server, int id, const char* srNo)
{
    bool fitted = id == kPatchGeneric ? formatBounded(out, cap, "%s/max/%s.exe", server, srNo)
                                      : formatBounded(out, cap, "%s/%d/%s.exe", server, id, srNo);
    return keepWhole(fitted, out, cap);
}

bool composeFallbackURL(char* out, std::size_t cap, const char* server, const char* srNo)
{
    return keepWhole(formatBounded(out, cap, "%s/Max/%s.exe", server, srNo), out, cap);
}

bool firstDownloadAllowsFallback(int id)
{
    return id != kPatchGeneric;
}

const char* patchArguments(bool silent, const char* silentArgs, const char* args)
{
    if (silent)
        return silentArgs && *silentArgs ? silentArgs : "/s";
    return args ? args : "";
}

bool composePatchCommandLine(char* out, std::size_t cap, const char* localPath, const char* arguments)
{
    return keepWhole(formatBounded(out, cap, "\"%s\" %s", localPath, arguments ? arguments : ""), out, cap);
}
