#pragma once
// The update window's painting: the background picture, the icon of the
// minimised window, and the test that picks the About command out of the
// system commands. The status line draws itself (CStatusLine).

#include <windows.h>

// The colour of the status line: red 150, green 199, blue 255.
constexpr COLORREF kStatusTextColor = 0x00FFC796;
// The status line's cell height in pixels at 96 DPI (bold Verdana).
constexpr int kStatusFontHeight = 18;

// The WM_ERASEBKGND painting of the update window: copies `background` over
// the whole client area of `dialog`. The window is sized to the picture
// drawn for its DPI, so this is a plain copy; only a picture of another
// size is stretched (a larger one shrunk with halftoning, so that it stays
// smooth).
// Returns TRUE after painting. Returns FALSE, having drawn nothing, when
// `dc` or `background` is null or the picture cannot be put on a memory
// context; the caller then leaves the message to default processing.
BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background);

// The status line's text: `text` in bold Verdana of height 18 at 96 DPI
// (scaled to `dpi`) and the status colour, with a transparent background,
// into `place`: left and top aligned, line breaks honoured, no word
// wrapping, cut at the rectangle. A null `text` draws nothing.
void drawStatusText(HDC dc, const RECT& place, const wchar_t* text, unsigned dpi);

// The WM_PAINT painting of the minimised window: lets the window erase its
// icon background (WM_ICONERASEBKGND with `dc`), then draws `icon` at the
// system icon size, centred in the client area.
void paintMinimizedIcon(HWND dialog, HDC dc, HICON icon);

// Appends a separator and the About entry (string 101, command 0x0010) to
// the window's system menu, when it has one and the string loads.
void appendAboutEntry(HWND dialog);

// True for the system command ids that open the About box: every id whose
// value with the low four bits cleared is 0x0010 (0x0010 to 0x001F).
bool isAboutCommand(UINT commandId);
