#pragma once
// CSkinButton: a dialog button painted from bitmaps.
//
// Bound to an ordinary button by subclassing (DDX_Control), it becomes
// owner-drawn and paints one face picture per state: normal, pressed
// ("down"), under the mouse ("over"), disabled and focused, with a centred
// UTF-16 caption. An optional mask picture cuts the window to a shape and
// lets the parent show through the face (white = transparent). Buttons
// created as automatic check boxes or radio buttons become bitmap toggles;
// the button keeps the checked state itself (BM_GETCHECK/BM_SETCHECK).
//
// The focus face (or rectangle) shows only while the window's keyboard cues
// are on: hidden until the keyboard is used (a key through the dialog
// manager, or WM_UPDATEUISTATE clearing UISF_HIDEFOCUS), hidden again when
// the system sets UISF_HIDEFOCUS.
//
// Radio buttons uncheck the other members of their dialog group by posting
// them WM_USER_UNCHECK. Everything runs on the thread owning the dialog.

#include "framework/Button.h"
#include "common/FixedBuf.h"
#include "common/Handles.h"
#include "framework/ToolTipCtrl.h"

// Posted by a radio-type skin button that becomes checked to the other
// controls of its dialog group; a skin button receiving it unchecks itself.
// wParam and lParam are unused.
constexpr UINT WM_USER_UNCHECK = WM_USER + 0x100;

class CSkinButton : public CButton {
public:
    enum Type { TypePush, TypeCheckBox, TypeRadio };
    enum DrawMode { DrawNatural = 0, DrawStretched = 1, DrawTiled = 2 };

    CSkinButton();
    ~CSkinButton() override;

    // Loads the faces from resource ids (low 16 bits; 0 means none): normal,
    // down (pressed or checked), over (hover), disabled (0 uses the normal
    // picture), focus, and the mask that shapes the window. drawMode: 0
    // natural size (with a mask, the button takes the mask's size), 1
    // stretched, 2 tiled; above 2 counts as 2, below 0 as 0. border nonzero
    // draws 3-D edges. focusOffset above 0 is the inset of the focus
    // rectangle; 0 or below draws none. Releases the previous faces first;
    // a mask id of 0 leaves an earlier window shape as it was. Call it once
    // the button has its window, so the mask can shape it.
    void setSkin(UINT normal, UINT down, UINT over, UINT disabled, UINT focus, UINT mask, short drawMode, short border,
                 short focusOffset);
    // Copies the caption (at most 259 units), also as the window text,
    // which screen readers read. Does not repaint.
    void setCaption(const wchar_t* text);
    // Reloads the faces as drawn for `dpi` (the nearest scale the program
    // has) and repaints. The mask keeps its pixels.
    void setArtDpi(unsigned dpi);
    // Sets the caption colour; returns the previous one. Does not repaint.
    COLORREF setTextColor(COLORREF color);
    // Shows `text` as the button's tooltip, creating the tooltip on first use.
    void setTooltipText(const wchar_t* text);

    // Read-only views of the state, for whoever needs to inspect it.
    Type getType() const { return m_nType; }
    bool isChecked() const { return m_bChecked != 0; }
    bool isHover() const { return m_bHover != 0; }
    bool isTracking() const { return m_bTracking != 0; }
    short getDrawMode() const { return m_nDrawMode; }
    short getFocusOffset() const { return m_nFocusOffset; }
    bool hasBorder() const { return m_bBorder != 0; }
    const wchar_t* getCaption() const { return m_szCaption; }
    COLORREF getTextColor() const { return m_crText; }
    HWND getTooltipWindow() const { return m_tooltip.m_hWnd; }

    void DrawItem(DRAWITEMSTRUCT* dis) override;

protected:
    void PreSubclassWindow() override;
    bool OnWndMsg(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

private:
    void relayToTooltip(UINT message, WPARAM wParam, LPARAM lParam);
    bool isUnderCursorAt(LPARAM clientPoint) const;
    void onLButtonDown();
    void onLButtonUp(LPARAM lParam);
    void onMouseMove(LPARAM lParam);
    void onSetCheck(WPARAM check);
    void uncheckGroup();
    // Pushed-look check of a tracked press; true when it changed the state
    // (which repaints the button, so this paint stops).
    bool syncPushedLook();
    void drawFace(HDC dc, const RECT& r, HBITMAP face) const;
    void drawMasked(HDC dc, const RECT& r, HDC faceDC, const BITMAP& bm) const;
    HRGN regionFromMask(HBITMAP mask) const;
    void invalidateAll() const;
    void loadFaces();
    // Whether a paint with `itemState` shows the focus: the button has it
    // and the window's keyboard cues are on.
    bool showsFocus(UINT itemState) const;
    void setFocusCues(bool on);

    wchar_t m_szCaption[kMaxText];
    BYTE m_bChecked;
    Type m_nType;
    BYTE m_bHover;
    BYTE m_bTracking;
    CToolTipCtrl m_tooltip;
    CBitmapOwner m_bmpNormal;
    CBitmapOwner m_bmpDown;
    CBitmapOwner m_bmpDisabled;
    CBitmapOwner m_bmpMask;
    CBitmapOwner m_bmpOver;
    CBitmapOwner m_bmpFocus;
    short m_nFocusOffset;
    COLORREF m_crText;
    HRGN m_hRgn; // owned by the window once SetWindowRgn took it
    BOOL m_bBorder;
    short m_nDrawMode;
    struct FaceIds {
        UINT normal, down, over, disabled, focus;
    } m_faceIds = {0, 0, 0, 0, 0};
    unsigned m_nDpi = 96;
    // Keyboard cues on. Users who keep them on always get the dialog's
    // WM_UPDATEUISTATE clearing UISF_HIDEFOCUS from the start.
    bool m_bFocusCues = false;
};
