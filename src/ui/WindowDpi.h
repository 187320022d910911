#pragma once
// The update window at the DPI of its monitor: the DPI itself, the pictures
// drawn for it, and the window sized and placed from them.

#include <windows.h>

// The DPI of the monitor `hwnd` is on (GetDpiForWindow where the platform
// has it), else the screen's LOGPIXELSY; 96 when neither answers.
unsigned windowDpi(HWND hwnd);

// The resource id of the picture `id` drawn for `dpi` (see artScaleFor);
// `id` itself when the program has no such picture.
UINT artIdFor(UINT id, unsigned dpi);

// Picture `id` for `dpi` as a DIB section (LoadImageA, natural size); null
// when it does not load.
HBITMAP loadArt(UINT id, unsigned dpi);

// Sizes the client area of the update window `dialog` to the pictures at
// `dpi` and places its status line (1002), progress bar (1000) and Cancel
// button (2) on it. The window goes to the top-left corner of `suggested`
// (WM_DPICHANGED's rectangle) or, when that is null, to the middle of the
// work area of the monitor it is on.
void placeUpdateWindow(HWND dialog, unsigned dpi, const RECT* suggested);
