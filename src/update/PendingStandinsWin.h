#pragma once
// TEMPORARY stand-ins for the window pieces other branches provide (skin
// controls, window painting, About box). Deleted as soon as
// the real ones are merged.
#include "framework/Dialog.h"

class CSkinButton : public CWnd {
public:
    void setSkin(UINT, UINT, UINT, UINT, UINT, UINT, short, short, short) {}
    void setCaption(const wchar_t* text) { ::SetWindowTextW(m_hWnd, text); }
    void setTextColor(COLORREF) {}
};

class CSkinProgressCtrl : public CWnd {
public:
    void setText(const char* text) { ::SetWindowTextA(m_hWnd, text); }
};

BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background, HWND statusPlaceholder, const wchar_t* statusText);

class CAboutDlg : public CDialog {
public:
    CAboutDlg() : CDialog(100) {}
};
