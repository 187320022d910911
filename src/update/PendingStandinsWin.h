#pragma once
// TEMPORARY stand-ins for the window pieces other branches provide (window painting,
// About box). Deleted as soon as
// the real ones are merged.
#include "framework/Dialog.h"

BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background, HWND statusPlaceholder, const wchar_t* statusText);

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(100) {}
};
