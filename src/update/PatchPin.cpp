#include "update/PatchPin.h"

#include "common/FileHash.h"
#include "common/FixedBuf.h"
#include "common/Trace.h"
#include "products/ProductCheck.h"
#include "products/Profile.h"

#include <cstdio>
#include <cstring>

int pinFolderFor(int srId, bool fallback)
{
    return (fallback || srId < 0) ? kPinFolderMax : srId;
}

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

int checkDownloadPin(const char* iniPath, int folder, const char* localPath, CHeldFile* held)
{
    char key[kPinKeySize];
    pinKeyName(folder, key, sizeof key);
    char pin[kMaxText] = {};
    readProfileString("SRInfo", key, pin, sizeof pin, iniPath);
    if (!pin[0])
        return kPinNone;
    unsigned char digest[kSha256Size];
    bool hashed = (held && held->isOpen()) ? held->sha256(digest) : sha256OfFile(localPath, digest);
    int verdict = judgePin(pin, hashed ? digest : nullptr);
    if (verdict == kPinMatch) {
        traceLog("[Veldrun] checkDownloadPin => pin %s matched\n", key);
        return verdict;
    }
    char got[kSha256HexSize] = "(unreadable)";
    if (hashed)
        sha256Hex(digest, got);
    traceLog("[Veldrun] checkDownloadPin => pin %s did not match: expected %s, got %s\n", key, pin, got);
    if (held)
        held->close();
    if (localPath)
        std::remove(localPath);
    return verdict;
}

bool hasAnyPin(const char* iniPath)
{
    char key[kPinKeySize];
    char pin[kMaxText] = {};
    pinKeyName(kPinFolderMax, key, sizeof key);
    readProfileString("SRInfo", key, pin, sizeof pin, iniPath);
    int count = readProfileInt("SRInfo", "Count", 0, iniPath);
    for (int i = 0; !pin[0] && i < count && i < kMaxEntryCount; ++i) {
        pinKeyName(i, key, sizeof key);
        readProfileString("SRInfo", key, pin, sizeof pin, iniPath);
    }
    return pin[0] != '\0';
}
