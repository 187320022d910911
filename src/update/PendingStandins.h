#pragma once
// TEMPORARY stand-ins for pieces other branches provide (exit statuses,
// product check, profile reader, string loader, skin controls). Deleted as
// soon as the real ones are merged.

enum {
    kExitPatchStarted = 0,
    kExitProductError = 1,
    kExitPatchError = 2,
    kExitServerError = 3,
    kExitAlreadyApplied = 4,
    kExitCancelled = 5,
    kExitNotStarted = 6,
    kExitAnotherInstance = 7,
};

// ---- products (TEMPORARY)
#include <vector>
struct ProductInfo {
    int bFound = 0;
};
int checkProducts(const char* iniPath, std::vector<ProductInfo>& products);
int getSRIdFromFile(const char* iniPath, const std::vector<ProductInfo>& products, const char* srNo);
void readProfileString(const char* section, const char* key, char* buffer, unsigned size, const char* iniPath);
