#pragma once
// CSkinProgressCtrl: the update window's progress bar. It takes over a
// system progress control and paints it entirely itself: the track picture
// (bitmap 139) stretched over the whole control, the fill picture (bitmap
// 141) over the filled part, and one centred line of text that is dark over
// the fill and light over the track.
//
// It answers the standard progress-bar messages from its own state (the
// system control never sees position or range changes) and adds two:
//   PBM_SETTEXTCOLOR  lParam COLORREF, or CLR_DEFAULT to return to the
//                     two-colour rule; returns the previous text colour.
//   PBM_SHOWTEXT      wParam nonzero draws the text; returns the previous flag.
// The text is also the window text, and changes of position or text raise
// EVENT_OBJECT_VALUECHANGE (throttled), so screen readers can follow.
// Positions are stored unchanged; outside the range they draw as the nearest
// end. An empty or inverted range (lower not below upper) draws nothing.

#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "framework/ProgressCtrl.h"
#include "ui/WindowScale.h"

constexpr UINT PBM_SETTEXTCOLOR = WM_USER + 100;
constexpr UINT PBM_SHOWTEXT = WM_USER + 101;

class CSkinProgressCtrl : public CProgressCtrl {
public:
    CSkinProgressCtrl();
    ~CSkinProgressCtrl() override;

    // Stores a copy of the text (cut to 259 characters), makes it the
    // window text (what screen readers name the bar by) and repaints the
    // control; it does not compare with the previous text.
    void setText(const char* text);
    // Reloads the pictures as drawn for `dpi` and sizes the text's font
    // for it (9 points in the user's message font); repaints.
    void setArtDpi(unsigned dpi);

    // Read-only views of the drawing state.
    const char* getText() const { return m_szText; }
    // Fill width drawn at the last position change; -1 after a resize.
    int getDrawnFillWidth() const { return m_nDrawnWidth; }

protected:
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    LRESULT onSetPos(int pos);
    LRESULT onSetRange(int lower, int upper);
    COLORREF swapColor(COLORREF& stored, COLORREF value);
    void onPaint();
    void drawText(HDC dc, const RECT& client, int fillRight, COLORREF fillText, COLORREF restText);
    // Repaints the whole control with erase, when it has a window.
    void invalidateAll();
    // EVENT_OBJECT_VALUECHANGE, at most about ten a second; one held back
    // is raised when its time comes.
    void tellValueChanged();

    COLORREF m_crText;
    int m_nPos;
    int m_nStep;
    int m_nUpper;
    int m_nLower;
    char m_szText[kMaxText];
    BOOL m_bShowText;
    int m_nDrawnWidth;
    COLORREF m_crBar;
    COLORREF m_crBk;
    CBitmapOwner m_bmpBack;
    CBitmapOwner m_bmpFill;
    CFontOwner m_font;
    CEventThrottle m_valueEvents;
    bool m_bValuePending = false;
};
