#pragma once
// CStatusLine: the update window's status line as a real control, so that
// screen readers read it. It takes over the template's owner-drawn static
// 1002, whose window text is the status; it draws that text in bold Verdana
// (18 pixels at 96 DPI, scaled) and the status colour over the window's
// background, which the dialog paints beneath it (the dialog does not clip
// its children).
//
// A change of text raises EVENT_OBJECT_NAMECHANGE and, where the platform
// takes the annotation, makes the control a polite live region and raises
// EVENT_OBJECT_LIVEREGIONCHANGED, so that the change is read out without
// the user moving to it.

#include "framework/Wnd.h"

struct IAccPropServices;

class CStatusLine : public CWnd {
public:
    CStatusLine() = default;
    ~CStatusLine() override;

    // Makes `text` the window text (cut to 259 units), repaints the status
    // line with the background beneath it and tells assistive technology.
    void setText(const wchar_t* text);
    // The DPI whose font the text is drawn in, and whether the window shows
    // its picture: the light text is drawn over the picture only, never
    // over the system's plain face, where it would not be legible (the
    // window text still names the control). Repaints.
    void setLook(unsigned dpi, bool overPicture);
    // Whether the platform took the live-region annotation.
    bool isLiveRegion() const { return m_bLive; }

protected:
    void PreSubclassWindow() override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void draw(const DRAWITEMSTRUCT& dis) const;
    void repaintWithBackground() const;
    void releaseLiveRegion();

    unsigned m_dpi = 96;
    bool m_bOverPicture = true;
    IAccPropServices* m_pProps = nullptr; // held while the annotation stands
    bool m_bLive = false;
};
