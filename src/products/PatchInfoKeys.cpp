#include "products/PatchInfoKeys.h"

#include "common/FixedBuf.h"

int clampEntryCount(int count)
{
    return count < 0 ? 0 : (count > kMaxEntryCount ? kMaxEntryCount : count);
}

bool entryCountFits(int count)
{
    return count >= 0 && count <= kMaxEntryCount;
}

void entryKeyName(const char* stem, int index, char* out, std::size_t cap)
{
    formatBounded(out, cap, "%s%d", stem, index);
}

std::string entryKey(const char* stem, int index)
{
    return stem + std::to_string(index);
}

void pinKeyName(int folder, char* out, std::size_t cap)
{
    if (folder == kPinFolderMax)
        copyBounded(out, cap, kPinMaxKey);
    else
        entryKeyName(kPinStem, folder, out, cap);
}

void sizeKeyName(int folder, char* out, std::size_t cap)
{
    if (folder == kPinFolderMax)
        copyBounded(out, cap, kSizeMaxKey);
    else
        entryKeyName(kSizeStem, folder, out, cap);
}

std::string buildKey(const char* name, const char* srNo, const char* srVer)
{
    return std::string(name) + '#' + srNo + '#' + srVer;
}

bool isBuildKeyForm(const std::string& key)
{
    std::size_t h1 = key.find('#');
    std::size_t h2 = h1 == std::string::npos ? h1 : key.find('#', h1 + 1);
    return h1 != 0 && h2 != std::string::npos && h2 != h1 + 1 && h2 + 1 < key.size() &&
           key.find('#', h2 + 1) == std::string::npos;
}

bool secondsInRange(const SecondsKey& seconds, int read)
{
    return read >= seconds.min && read <= seconds.max;
}

int secondsUsed(const SecondsKey& seconds, int read)
{
    return secondsInRange(seconds, read) ? read : seconds.def;
}
