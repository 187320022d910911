#include "products/Profile.h"

void readProfileString(const char* section, const char* key, char* buffer, unsigned size, const char* iniPath)
{
    platformProfile().getString(section, key, "", buffer, size, iniPath);
}

int readProfileInt(const char* section, const char* key, int def, const char* iniPath)
{
    return platformProfile().getInt(section, key, def, iniPath);
}
