#pragma once
// The update window's painting: the background picture with the status line
// drawn over it, the icon of the minimised window, and the test that picks
// the About command out of the system commands.

#include <windows.h>

// The colour of the status line: red 150, green 199, blue 255.
constexpr COLORREF kStatusTextColor = 0x00FFC796;

// The WM_ERASEBKGND painting of the update window. Stretches `background`
// over the whole client area of `dialog`, then draws `statusText` in bold
// Verdana of height 18 and the status colour, with a transparent background,
// into the rectangle of `statusPlaceholder` (a child of `dialog`): left and
// top aligned, line breaks honoured, no word wrapping, cut at the rectangle.
// A null `statusText` paints the background only.
// Returns TRUE after painting. Returns FALSE, having drawn nothing (no text
// either), when `dc` or `background` is null or the picture cannot be put
// on a memory context; the caller then leaves the message to default
// processing.
BOOL paintUpdateBackground(HDC dc, HWND dialog, HBITMAP background, HWND statusPlaceholder, const wchar_t* statusText);

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
