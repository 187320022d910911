// TEMPORARY: see PendingStandins.h and PendingStandinsWin.h.
#include "update/PendingStandinsWin.h"

BOOL paintUpdateBackground(HDC, HWND, HBITMAP, HWND, const wchar_t*) { return FALSE; }
