// TEMPORARY: see PendingStandins.h and PendingStandinsWin.h.
#include "update/PendingStandins.h"
#include "update/PendingStandinsWin.h"

int checkProducts(const char* iniPath, std::vector<ProductInfo>& products)
{
    products.assign(1, ProductInfo{});
    return static_cast<int>(GetPrivateProfileIntA("Standin", "Check", 1, iniPath));
}

int getSRIdFromFile(const char* iniPath, const std::vector<ProductInfo>&, const char*)
{
    return static_cast<int>(GetPrivateProfileIntA("Standin", "Id", -1, iniPath));
}

void readProfileString(const char* section, const char* key, char* buffer, unsigned size, const char* iniPath)
{
    GetPrivateProfileStringA(section, key, "", buffer, size, iniPath);
}

BOOL paintUpdateBackground(HDC, HWND, HBITMAP, HWND, const wchar_t*) { return FALSE; }
