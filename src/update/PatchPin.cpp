#include "update/PatchPin.h"

#include "common/FixedBuf.h"

#include <cstring>

int pinFolderFor(int srId, bool fallback) { return (fallback || srId < 0) ? kPinFolderMax : srId; }

void pinKeyName(int folder, char* out, std::size_t cap)
{
    if (folder == kPinFolderMax)
        copyBounded(out, cap, "SHA256Max");
    else
        formatBounded(out, cap, "SHA256%d", folder);
}

int judgePin(const char* pinText, const unsigned char* digest)
{
    if (!pinText || !*pinText)
        return kPinNone;
    unsigned char pinned[kSha256Size];
    if (!digest || !sha256FromHex(pinText, pinned))
        return kPinMismatch;
    return std::memcmp(pinned, digest, kSha256Size) == 0 ? kPinMatch : kPinMismatch;
}
