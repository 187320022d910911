#include "update/PatchPin.h"

#include "common/FileHash.h"
#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"

#include <cstring>

int pinFolderFor(int srId, bool fallback)
{
    return (fallback || srId < 0) ? kPinFolderMax : srId;
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

int judgeFolderPin(int folder, const char* pinText, const unsigned char* digest)
{
    char key[kPinKeySize];
    pinKeyName(folder, key, sizeof key);
    int verdict = judgePin(pinText, digest);
    if (verdict == kPinMatch) {
        traceLog("[Veldrun] checkDownloadPin => pin %s matched\n", key);
        return verdict;
    }
    char got[kSha256HexSize] = "(unreadable)";
    if (digest)
        sha256Hex(digest, got);
    traceLog("[Veldrun] checkDownloadPin => pin %s did not match: expected %s, got %s\n", key, pinText, got);
    return verdict;
}

int checkDownloadPin(const IProfileReader& profile, const char* iniPath, int folder, const char* localPath)
{
    char key[kPinKeySize];
    pinKeyName(folder, key, sizeof key);
    char pin[kMaxText] = {};
    profile.getString(kSRInfoSection, key, "", pin, sizeof pin, iniPath);
    if (!pin[0])
        return kPinNone;
    unsigned char digest[kSha256Size];
    return judgeFolderPin(folder, pin, sha256OfFile(localPath, digest) ? digest : nullptr);
}

bool hasAnyPin(const IProfileReader& profile, const char* iniPath)
{
    char key[kPinKeySize];
    char pin[kMaxText] = {};
    pinKeyName(kPinFolderMax, key, sizeof key);
    profile.getString(kSRInfoSection, key, "", pin, sizeof pin, iniPath);
    int count = clampEntryCount(profile.getInt(kSRInfoSection, kCountKey, 0, iniPath));
    for (int i = 0; !pin[0] && i < count; ++i) {
        pinKeyName(i, key, sizeof key);
        profile.getString(kSRInfoSection, key, "", pin, sizeof pin, iniPath);
    }
    return pin[0] != '\0';
}

bool parseSizePin(const char* text, std::uint64_t& size)
{
    size = 0;
    if (!text || !*text)
        return false;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9' || size > kUnpinnedSizeLimit)
            return false;
        size = size * 10 + static_cast<std::uint64_t>(*p - '0');
    }
    return size != 0 && size <= kUnpinnedSizeLimit;
}

std::uint64_t sizePinFor(const IProfileReader& profile, const char* iniPath, int folder)
{
    char key[kPinKeySize];
    sizeKeyName(folder, key, sizeof key);
    char text[kMaxText] = {};
    profile.getString(kSRInfoSection, key, "", text, sizeof text, iniPath);
    std::uint64_t size = 0;
    if (text[0] && !parseSizePin(text, size))
        traceLog("[Veldrun] Size pin %s \"%s\" is not a size in bytes, ignored\n", key, text);
    return size;
}
