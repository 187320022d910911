#pragma once
// CAboutDlg: the About box (dialog template 100), opened from the update
// window's system menu. It has no handlers of its own: OK, Escape and the
// close box end it through the dialog's default OK and Cancel handling.

#include "framework/Dialog.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();
};
