// TEMPORARY: see PendingStandins.h and PendingStandinsWin.h.
#include "update/PendingStandins.h"
#include "update/PendingStandinsWin.h"

#include <cwchar>

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

int loadLangString(unsigned int id, wchar_t* buffer)
{
    static const wchar_t* const texts[] = {
        L"&About Veldrun...",
        L"PRODUCT ERROR: Please check if your current product installation is correct.",
        L"PATCH ERROR: The update cannot be installed on your computer.",
        L"SERVER ERROR: The update cannot be downloaded from the server.",
        L"Retrieving current product info...",
        L"Connecting to server...",
        L"Downloading latest update...",
        L"Cancel",
        L"The update has already been applied.",
    };
    if (id < 101 || id > 109)
        return 0;
    std::wcsncpy(buffer, texts[id - 101], 259);
    return 1;
}

BOOL paintUpdateBackground(HDC, HWND, HBITMAP, HWND, const wchar_t*) { return FALSE; }
