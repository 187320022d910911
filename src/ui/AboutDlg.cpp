#include "ui/AboutDlg.h"

#include "resource.h"

// No parent window: the box stands on its own over the update window.
CAboutDlg::CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
