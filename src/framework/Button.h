#pragma once
// CButton: a button control taken over by subclassing. An owner-drawn button
// paints itself in DrawItem, which the parent's reflection of WM_DRAWITEM
// calls; the parent must itself be a CWnd (a CDialog) for the reflection.

#include "framework/Wnd.h"

class CButton : public CWnd {
public:
    // The system button's state bits (BST_PUSHED, BST_FOCUS, check state).
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    // Shows the button pushed (TRUE) or released (FALSE).
    void SetState(BOOL highlight) const { SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight)); }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }

    // Paints an owner-drawn button. The default draws nothing.
    virtual void DrawItem(DRAWITEMSTRUCT* dis);

protected:
    bool OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};
